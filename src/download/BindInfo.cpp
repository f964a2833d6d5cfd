// The bind information the callback object hands to urlmon, and the request body of a POST
// or PUT.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "download/BindCallback.h"
#include "download/IEDownload.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/TaskText.h"

namespace lorvex {

namespace {

constexpr ULONG kBindInfoSize = 84;  // sizeof(BINDINFO) with every member

HRESULT LastErrorResult() {
  DWORD error = ::GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

STDMETHODIMP TBSCB::GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) {
  return win32::Guarded<HRESULT>("TBSCB::GetBindInfo", E_FAIL, [&]() -> HRESULT {
    if (!grfBINDF || !pbindinfo) return E_INVALIDARG;
    *grfBINDF = info_.BindF;
    HRESULT body = BuildRequestBody();
    if (FAILED(body)) {
      Refuse(body);
      return body;
    }
    // Only the members that lie within the caller's structure are written.
    const ULONG size = pbindinfo->cbSize;
    auto fits = [size](size_t offset, size_t length) { return offset + length <= size; };
#define LORVEX_FITS(member) fits(offsetof(BINDINFO, member), sizeof(BINDINFO::member))
    const DWORD verb = redirected_ ? DWORD(BINDVERB_GET) : DWORD(info_.BindVerb);
    if (size >= kBindInfoSize) pbindinfo->cbSize = kBindInfoSize;
    if (LORVEX_FITS(dwBindVerb)) pbindinfo->dwBindVerb = verb;
    if (LORVEX_FITS(grfBindInfoF)) pbindinfo->grfBindInfoF = info_.BindInfoF;
    if (LORVEX_FITS(dwCodePage)) pbindinfo->dwCodePage = info_.CodePage;
    if (LORVEX_FITS(securityAttributes)) {
      SECURITY_ATTRIBUTES& security = pbindinfo->securityAttributes;
      security.nLength = sizeof(SECURITY_ATTRIBUTES);
      security.bInheritHandle = info_.InheritHandle ? -1 : 0;
      security.lpSecurityDescriptor =
          info_.Descriptor.empty() ? nullptr : const_cast<char*>(info_.Descriptor.data());
    }
    if (LORVEX_FITS(szExtraInfo))
      pbindinfo->szExtraInfo = win32::TaskCopyOrNone(win32::AnsiToWide(info_.ExtraInfo)).release();
    if (LORVEX_FITS(szCustomVerb)) {
      pbindinfo->szCustomVerb = (!info_.CustomVerb.empty() && verb == BINDVERB_CUSTOM)
                                    ? win32::TaskCopy(win32::AnsiToWide(info_.CustomVerb)).release()
                                    : nullptr;
    }
    if (LORVEX_FITS(cbstgmedData)) pbindinfo->cbstgmedData = postDataSize_;
    if (LORVEX_FITS(stgmedData)) {
      STGMEDIUM& medium = pbindinfo->stgmedData;
      medium.tymed = verb != BINDVERB_GET ? TYMED_HGLOBAL : TYMED_NULL;
      medium.hGlobal = postDataHandle_.get();
      medium.pUnkForRelease = static_cast<IBindStatusCallback*>(this);
      AddRef();
    }
#undef LORVEX_FITS
    return S_OK;
  });
}

HRESULT TBSCB::BuildRequestBody() {
  // Built once: a block already handed to the binding stays valid while this object lives.
  if (postDataHandle_) return S_OK;
  if (info_.BindVerb == BINDVERB_PUT) {
    win32::UniqueFileHandle file(::CreateFileA(info_.PutFileName.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastErrorResult();
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size)) return LastErrorResult();
    if (size.QuadPart > LONGLONG(std::numeric_limits<LONG>::max()))
      return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    DWORD bytes = DWORD(size.QuadPart);
    win32::UniqueHGlobal block(::GlobalAlloc(GPTR, std::max<DWORD>(bytes, 1)));
    if (!block) return E_OUTOFMEMORY;
    auto* data = static_cast<char*>(block.get());  // fixed memory: the handle is the address
    DWORD done = 0;
    while (done < bytes) {
      DWORD got = 0;
      if (!::ReadFile(file.get(), data + done, bytes - done, &got, nullptr))
        return LastErrorResult();
      if (got == 0) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
      done += got;
    }
    postDataHandle_ = std::move(block);
    postDataSize_ = bytes;
  } else if (info_.BindVerb == BINDVERB_POST) {
    if (info_.PostData.size() >= std::numeric_limits<LONG>::max()) return E_OUTOFMEMORY;
    DWORD bytes = DWORD(info_.PostData.size() + 1);  // the body ends with a zero byte
    win32::UniqueHGlobal block(::GlobalAlloc(GPTR, bytes));
    if (!block) return E_OUTOFMEMORY;
    std::memcpy(block.get(), info_.PostData.data(), info_.PostData.size());
    postDataHandle_ = std::move(block);
    postDataSize_ = bytes;
  }
  return S_OK;
}

}  // namespace lorvex
