#include "download/BindCallback.h"

#include "download/IEDownload.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/MemoryStream.h"

namespace lorvex {

namespace {

LONG liveObjects = 0;

}  // namespace

// --- TBSCB: life ----------------------------------------------------------------------------

TBSCB::Hold::Hold(TBSCB* object) noexcept : object_(object) {
  if (object_) object_->AddHolder();
}
TBSCB::Hold::Hold(Hold&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
TBSCB::Hold& TBSCB::Hold::operator=(Hold&& other) noexcept {
  if (this != &other) {
    TBSCB* old = std::exchange(object_, std::exchange(other.object_, nullptr));
    if (old) old->DropHolder();
  }
  return *this;
}
TBSCB::Hold::~Hold() {
  if (object_) object_->DropHolder();
}

TBSCB::TBSCB(const TInfo& info)
    : sharedCount_(info.Sender ? info.Sender->refCount_ : std::make_shared<LONG>(1)),
      info_(info),
      owner_(info.Sender),
      url_(info.Url),
      memoryStream_(win32::NewMemoryStream()) {
  if (owner_) {
    std::lock_guard<std::mutex> guard(AttachLock());
    owner_->attached_.insert(this);
  }
  ::InterlockedIncrement(&liveObjects);
}

TBSCB::~TBSCB() {
  {
    std::lock_guard<std::mutex> guard(AttachLock());
    if (owner_) owner_->attached_.erase(this);
  }
  ::InterlockedDecrement(&liveObjects);
}

LONG TBSCB::LiveObjects() noexcept { return liveObjects; }

std::mutex& TBSCB::AttachLock() {
  static std::mutex lock;
  return lock;
}

void TBSCB::AddHolder() noexcept { ::InterlockedIncrement(&holders_); }

void TBSCB::DropHolder() noexcept {
  if (::InterlockedDecrement(&holders_) == 0) delete this;
}

TBSCB::Hold TBSCB::HoldIfAlive(TBSCB* object) noexcept {
  LONG count = object->holders_;
  while (count > 0) {
    LONG seen = ::InterlockedCompareExchange(&object->holders_, count + 1, count);
    if (seen == count) {
      Hold hold;
      hold.object_ = object;
      return hold;
    }
    count = seen;
  }
  return Hold();
}

TBSCB::Hold TBSCB::Create(const TInfo& info) {
  Hold download = CreateUnbound(info);
  download->StartBinding();
  return download;
}

TBSCB::Hold TBSCB::CreateUnbound(const TInfo& info) { return Hold(new TBSCB(info)); }

void TBSCB::Detach() noexcept {
  {
    std::lock_guard<std::mutex> guard(AttachLock());
    if (owner_) owner_->attached_.erase(this);
    owner_ = nullptr;
  }
  win32::Guarded("TBSCB::Detach", [this] { AbortBinding(); });
  // A binding that goes on regardless writes nothing more for a component that is gone.
  if (!stopped_) ReleaseTarget();
}

bool TBSCB::Cancelled() const noexcept { return !owner_ || owner_->cancelled_; }

void TBSCB::RaiseComplete(IStream* stream, HRESULT result) {
  if (owner_ && owner_->OnComplete) owner_->OnComplete(*this, stream, result);
}

void TBSCB::AbortBinding() {
  if (!binding_) return;
  win32::ComPtr<IBinding> binding = binding_;  // Abort may end the binding at once
  // A binding that has ended already refuses; either way it is over.
  LORVEX_TRACE_IF_FAILED("TBSCB::AbortBinding", binding->Abort());
}

void TBSCB::Refuse(HRESULT outcome) {
  if (SUCCEEDED(ownOutcome_)) ownOutcome_ = outcome;
  AbortBinding();
}

void TBSCB::ReleaseBindingObjects() noexcept {
  // The bind context holds this object as its callback, and this object holds the bind
  // context and the binding: the cycle is broken here, at the binding's end.
  if (bindCtx_)
    LORVEX_TRACE_IF_FAILED(
        "TBSCB::ReleaseBindingObjects",
        ::RevokeBindStatusCallback(bindCtx_.Get(), static_cast<IBindStatusCallback*>(this)));
  binding_.Reset();
  stream_.Reset();
  moniker_.Reset();
  bindCtx_.Reset();
}

void TBSCB::StartBinding() {
  Hold self(this);  // urlmon may release every reference it took while the start fails
  ReleaseBindingObjects();
  // A request body built for an earlier binding of this object is kept: that binding may
  // still hold the block, and the next one is handed the same bytes.
  received_ = 0;
  expectedLength_ = -1;
  stopped_ = false;
  auto fail = [this](HRESULT result) {
    stopped_ = true;
    ReleaseBindingObjects();
    RaiseComplete(nullptr, result);
  };
  HRESULT result = ::CreateURLMoniker(nullptr, url_.c_str(), moniker_.put());
  if (result != S_OK) return fail(result);
  result =
      ::CreateAsyncBindCtx(0, static_cast<IBindStatusCallback*>(this), nullptr, bindCtx_.put());
  if (result != S_OK) return fail(result);
  if (::IsValidURL(bindCtx_.Get(), url_.c_str(), 0) != S_OK) return fail(MK_E_SYNTAX);
  win32::ComPtr<IStream> stream;
  result = moniker_->BindToStorage(bindCtx_.Get(), nullptr, IID_IStream, stream.put_void());
  if (result == S_OK || result == MK_S_ASYNCHRONOUS) {
    if (!stopped_ && !stream_) stream_ = stream;
    return;
  }
  fail(result);
}

// --- TBSCB: IUnknown ------------------------------------------------------------------------

STDMETHODIMP TBSCB::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  using Cast = void* (*)(TBSCB*);
  static const struct {
    const IID* iid;
    Cast cast;
  } kInterfaces[] = {
      {&IID_IUnknown, [](TBSCB* p) -> void* { return static_cast<IBindStatusCallback*>(p); }},
      {&IID_IBindStatusCallback,
       [](TBSCB* p) -> void* { return static_cast<IBindStatusCallback*>(p); }},
      {&IID_IHttpNegotiate, [](TBSCB* p) -> void* { return static_cast<IHttpNegotiate*>(p); }},
      {&IID_IAuthenticate, [](TBSCB* p) -> void* { return static_cast<IAuthenticate*>(p); }},
      {&IID_IHttpSecurity, [](TBSCB* p) -> void* { return static_cast<IHttpSecurity*>(p); }},
  };
  for (const auto& entry : kInterfaces) {
    if (::IsEqualIID(riid, *entry.iid)) {
      *ppv = entry.cast(this);
      AddRef();
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TBSCB::AddRef() {
  AddHolder();
  return ULONG(::InterlockedIncrement(sharedCount_.get()));
}

STDMETHODIMP_(ULONG) TBSCB::Release() {
  ULONG count = ULONG(::InterlockedDecrement(sharedCount_.get()));
  DropHolder();  // may free this object
  return count;
}

// --- TBSCB: timer -------------------------------------------------------------------------

void TBSCB::StartTimer() {
  if (!timer_) timer_ = std::make_unique<win32::IntervalTimer>([this] { OnTimer(); });
  timer_->SetInterval(info_.TimeOut > 0 ? UINT(info_.TimeOut) : 0);
  timer_->Enable();
}

void TBSCB::OnTimer() {
  Hold self(this);
  timedOut_ = true;
  AbortBinding();
}

}  // namespace lorvex
