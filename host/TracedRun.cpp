#include "TracedRun.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/UniqueHandle.h"

namespace lorvex::host {

namespace {

using win32::UniqueHandleObject;

// How long one wait for the child's next debug event lasts.
constexpr DWORD kDebugEventSliceMs = 1000;
// A traced run that takes longer is ended, so that the host never waits without bound.
constexpr ULONGLONG kTracedRunLimitMs = 60ULL * 60 * 1000;
// How long a child that was ended gets to report its exit.
constexpr ULONGLONG kEndGraceMs = 10000;
// Longest debug string copied; the rest of a longer one is cut off.
constexpr DWORD kDebugStringMax = 64 * 1024;
constexpr int kStatusNotRun = 3;

// The child's debug string as 8-bit text (the system's ANSI code page), without the
// terminating zero.
std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const DWORD units =
      info.nDebugStringLength < kDebugStringMax ? info.nDebugStringLength : kDebugStringMax;
  const SIZE_T unitSize = info.fUnicode ? sizeof(wchar_t) : 1;
  std::string raw(units * unitSize, '\0');
  SIZE_T got = 0;
  if (units == 0 ||
      !::ReadProcessMemory(process, info.lpDebugStringData, raw.data(), raw.size(), &got))
    return std::string();
  raw.resize(got - got % unitSize);
  if (!info.fUnicode) return raw.substr(0, raw.find('\0'));
  std::wstring wide(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
  wide = wide.substr(0, wide.find(L'\0'));
  if (wide.empty()) return std::string();
  int length =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size_t(length > 0 ? length : 0), '\0');
  if (length > 0)
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.data(), length, nullptr,
                          nullptr);
  return text;
}

void PrintLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  text += '\n';
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

int RunTraced() {
  char path[MAX_PATH];
  DWORD pathLength = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string commandLine = ::GetCommandLineA();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (pathLength == 0 || pathLength >= MAX_PATH ||
      !::CreateProcessA(path, commandLine.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &started)) {
    std::fprintf(stderr, "lorvex-host: --trace: cannot start the traced run (error %lu)\n",
                 ::GetLastError());
    return kStatusNotRun;
  }
  UniqueHandleObject process(started.hProcess);
  UniqueHandleObject thread(started.hThread);

  const ULONGLONG start = ::GetTickCount64();
  ULONGLONG endBy = 0;  // set once the child has been ended
  DWORD status = kStatusNotRun;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (endBy == 0 && now - start >= kTracedRunLimitMs) {
      std::fputs("lorvex-host: --trace: the run took too long and was ended\n", stderr);
      ::TerminateProcess(process.get(), kStatusNotRun);
      endBy = now + kEndGraceMs;
    } else if (endBy != 0 && now >= endBy) {
      break;
    }
    DEBUG_EVENT event;
    if (!::WaitForDebugEvent(&event, kDebugEventSliceMs)) continue;
    DWORD continueStatus = DBG_CONTINUE;
    bool exited = false;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT:
        PrintLine(ReadDebugString(process.get(), event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The child's own handlers decide; only the debugger's initial breakpoint is ours, and
        // the report of a close of a handle that is not one, which is raised only because a
        // debugger is there (Wine's start of a program of its host system makes one): the
        // run goes on as it does without --trace, where the close just fails.
        if (const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
            code != EXCEPTION_BREAKPOINT && code != EXCEPTION_INVALID_HANDLE)
          continueStatus = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
      case LOAD_DLL_DEBUG_EVENT: {
        // The debugger owns the image file handles that these events carry.
        UniqueHandleObject image(event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT
                                     ? event.u.CreateProcessInfo.hFile
                                     : event.u.LoadDll.hFile);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        status = event.u.ExitProcess.dwExitCode;
        exited = true;
        break;
      default:
        break;
    }
    ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    if (exited) break;
  }
  return int(status);
}

}  // namespace lorvex::host
