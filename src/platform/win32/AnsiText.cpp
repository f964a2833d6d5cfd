#include "platform/win32/AnsiText.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

namespace lorvex::win32 {

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > size_t(std::numeric_limits<int>::max())) throw std::length_error("text");
  int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (length <= 0) throw std::runtime_error("MultiByteToWideChar failed");
  std::wstring wide(size_t(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
  return wide;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  if (text.size() > size_t(std::numeric_limits<int>::max())) throw std::length_error("text");
  int length =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) throw std::runtime_error("WideCharToMultiByte failed");
  std::string ansi(size_t(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(), length, nullptr,
                        nullptr);
  return ansi;
}

}  // namespace lorvex::win32
