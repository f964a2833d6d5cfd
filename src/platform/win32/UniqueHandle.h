// RAII owners for Windows handles. The "empty" value belongs to the handle's kind (a file
// handle's is INVALID_HANDLE_VALUE, most others are null); put() hands out the address for
// out-parameters after releasing what was held.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <utility>

namespace lorvex::win32 {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept : value_(Traits::Empty()) {}
  explicit UniqueHandle(Type value) noexcept : value_(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Empty(); }

  Type release() noexcept { return std::exchange(value_, Traits::Empty()); }
  void reset(Type value = Traits::Empty()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Traits::Empty()) Traits::Close(old);
  }
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

template <typename T, auto CloseFunction>
struct NullTraits {
  using Type = T;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type value) noexcept { CloseFunction(value); }
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) noexcept { ::CloseHandle(value); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) noexcept { ::FindClose(value); }
};

struct SocketTraits {
  using Type = SOCKET;
  static Type Empty() noexcept { return INVALID_SOCKET; }
  static void Close(Type value) noexcept { ::closesocket(value); }
};

using UniqueModule = UniqueHandle<NullTraits<HMODULE, ::FreeLibrary>>;
using UniqueHandleObject = UniqueHandle<NullTraits<HANDLE, ::CloseHandle>>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueHGlobal = UniqueHandle<NullTraits<HGLOBAL, ::GlobalFree>>;
using UniqueHKey = UniqueHandle<NullTraits<HKEY, ::RegCloseKey>>;
using UniqueWindow = UniqueHandle<NullTraits<HWND, ::DestroyWindow>>;
using UniqueSocket = UniqueHandle<SocketTraits>;

}  // namespace lorvex::win32
