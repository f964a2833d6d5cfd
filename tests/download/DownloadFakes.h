// Stand-ins for what urlmon hands a bind-status callback: a binding that answers HTTP header
// queries and counts aborts, and a data stream that serves its bytes in small pieces.
#pragma once

// clang-format off
#include <winsock2.h>  // before windows.h
#include <windows.h>
#include <urlmon.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace lorvex::test {

// Reference counting of the fakes is real, but a test owns them on its stack: they are never
// freed through Release.
class FakeBinding final : public IBinding, public IWinInetHttpInfo {
 public:
  std::optional<DWORD> contentLength;
  std::optional<std::string> acceptRanges;
  int aborts = 0;
  int queries = 0;
  bool flagsNotZeroed = false;  // a query arrived with a non-zero flags argument
  LONG refs = 0;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBinding))
      *ppv = static_cast<IBinding*>(this);
    else if (IsEqualIID(riid, IID_IWinInetHttpInfo) || IsEqualIID(riid, IID_IWinInetInfo))
      *ppv = static_cast<IWinInetHttpInfo*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(--refs); }
  // IBinding
  STDMETHODIMP Abort() override {
    ++aborts;
    return S_OK;
  }
  STDMETHODIMP Suspend() override { return E_NOTIMPL; }
  STDMETHODIMP Resume() override { return E_NOTIMPL; }
  STDMETHODIMP SetPriority(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }
  // IWinInetInfo / IWinInetHttpInfo
  STDMETHODIMP QueryOption(DWORD, LPVOID, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInfo(DWORD option, LPVOID buffer, DWORD* size, DWORD* flags, DWORD*) override {
    ++queries;
    if (flags && *flags != 0) flagsNotZeroed = true;
    const DWORD kNumber = 0x20000000;
    if (option == (5 | kNumber)) {
      if (!contentLength || *size < sizeof(DWORD)) return S_FALSE;
      std::memcpy(buffer, &*contentLength, sizeof(DWORD));
      *size = sizeof(DWORD);
      return S_OK;
    }
    if (option == 42) {
      if (!acceptRanges || *size <= acceptRanges->size()) return S_FALSE;
      std::memcpy(buffer, acceptRanges->c_str(), acceptRanges->size() + 1);
      *size = DWORD(acceptRanges->size());
      return S_OK;
    }
    return S_FALSE;
  }
};

// Serves its bytes at most `piece` bytes per Read; when they are used up, Read gives 0 bytes
// and E_PENDING, as a binding's stream does while the transfer goes on.
class FakeStream final : public IStream {
 public:
  std::string bytes;
  size_t position = 0;
  ULONG piece = 4096;
  int reads = 0;
  LONG refs = 0;

  void Append(const std::string& more) { bytes += more; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IStream) &&
        !IsEqualIID(riid, IID_ISequentialStream))
      return E_NOINTERFACE;
    *ppv = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(--refs); }
  STDMETHODIMP Read(void* buffer, ULONG wanted, ULONG* got) override {
    ++reads;
    size_t n = std::min<size_t>({wanted, piece, bytes.size() - position});
    std::memcpy(buffer, bytes.data() + position, n);
    position += n;
    if (got) *got = ULONG(n);
    return n > 0 ? S_OK : E_PENDING;
  }
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }
};

}  // namespace lorvex::test
