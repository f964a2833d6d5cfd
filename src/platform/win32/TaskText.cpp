#include "platform/win32/TaskText.h"

#include <objbase.h>

#include <cstring>
#include <new>

namespace lorvex::win32 {

TaskString TaskCopy(std::wstring_view text) {
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
  copy[text.size()] = L'\0';
  return TaskString(copy);
}

TaskString TaskCopyOrNone(std::wstring_view text) {
  return text.empty() ? TaskString() : TaskCopy(text);
}

}  // namespace lorvex::win32
