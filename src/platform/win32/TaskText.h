// UTF-16 texts handed to COM callers in task memory: the receiver frees them with
// CoTaskMemFree. Until it is handed out with release(), a copy is freed here.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string_view>

namespace lorvex::win32 {

struct TaskMemFree {
  void operator()(wchar_t* p) const noexcept { ::CoTaskMemFree(p); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

// A zero-terminated copy in task memory; throws std::bad_alloc when none can be had.
TaskString TaskCopy(std::wstring_view text);
// The same, or none for an empty text.
TaskString TaskCopyOrNone(std::wstring_view text);

}  // namespace lorvex::win32
