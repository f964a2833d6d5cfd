// Windows side of the browser seam. The protocol runs on a loopback port (pipes would need
// POSIX descriptors). A Windows browser runs in a job object that ends every process it starts
// when the job's handle closes. Under Wine the browser may also be a program of the host
// system (Debian's chromium, named as Z:\usr\bin\chromium): Wine starts it, but hands back no
// process to wait on or end, and it takes the host's paths; such a browser is out of reach
// (EndsWithObject is false) and the caller closes it through the protocol.
#include "platform/BrowserProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/Platform.h"
#include "platform/win32/UniqueHandle.h"

namespace lorvex::platform {

namespace {

using win32::UniqueHandle;
using HandleOwner = UniqueHandle<win32::NullTraits<HANDLE, ::CloseHandle>>;

// How long the browser's processes may take to go after the job ended them.
constexpr DWORD kExitWaitMs = 3000;
constexpr int kFolderAttempts = 100;

// Wine's kernel32 names a Windows path in the host's file system; null outside Wine.
using HostNameFunction = char*(__cdecl*)(const WCHAR*);
HostNameFunction WineHostName() {
  static const auto function = reinterpret_cast<HostNameFunction>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  return function;
}

// The host's path of a Windows path, under Wine; empty when it has none.
std::string HostPath(const std::string& path) {
  HostNameFunction hostName = WineHostName();
  if (!hostName) return {};
  const int length = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(size_t(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
  char* name = hostName(wide.c_str());
  if (!name) return {};
  std::string host(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return host;
}

// A program of the host system, started from under Wine: not a Windows executable.
bool IsHostProgram(const std::string& program) {
  if (!WineHostName()) return false;
  UniqueFile file = OpenFile(program, "rb");
  char magic[2] = {};
  return file && (std::fread(magic, 1, 2, file.get()) != 2 || magic[0] != 'M' || magic[1] != 'Z');
}

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// One argument as the C runtime's command-line reader gives it back.
void AppendArgument(std::string& line, const std::string& arg) {
  if (!line.empty()) line += ' ';
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

// This process's environment with the variables that say where temporary files, settings and
// caches go pointed into the scratch folder: a block of "NAME=value\0" entries ending in \0.
std::string BrowserEnvironment(const std::vector<std::pair<std::string, std::string>>& moved) {
  std::string block;
  const std::unique_ptr<char, decltype(&::FreeEnvironmentStringsA)> env(::GetEnvironmentStringsA(),
                                                                        ::FreeEnvironmentStringsA);
  for (const char* entry = env.get(); entry && *entry; entry += std::strlen(entry) + 1) {
    const std::string_view text(entry);
    const bool replaced = std::any_of(moved.begin(), moved.end(), [&](const auto& variable) {
      return text.size() > variable.first.size() && text[variable.first.size()] == '=' &&
             _strnicmp(entry, variable.first.c_str(), variable.first.size()) == 0;
    });
    if (!replaced) block.append(text).push_back('\0');
  }
  for (const auto& [name, value] : moved) block.append(name + "=" + value).push_back('\0');
  block.push_back('\0');
  return block;
}

class WindowsBrowser final : public BrowserProcess {
 public:
  WindowsBrowser(HandleOwner process, HandleOwner job)
      : process_(std::move(process)), job_(std::move(job)) {}

  ~WindowsBrowser() override {
    if (job_) ::TerminateJobObject(job_.get(), 1);
    if (process_) ::WaitForSingleObject(process_.get(), kExitWaitMs);
  }

  MessageChannel* Channel() override { return nullptr; }
  bool EndsWithObject() const override { return bool(process_); }

  std::string Ended() override {
    DWORD code = 0;
    if (!process_ || !::GetExitCodeProcess(process_.get(), &code) || code == STILL_ACTIVE)
      return {};
    return "exit status " + std::to_string(code);
  }

 private:
  HandleOwner process_;
  HandleOwner job_;
};

}  // namespace

std::unique_ptr<BrowserProcess> StartBrowser(const BrowserCommand& command) {
  if (command.way != ProtocolWay::Port)
    throw std::runtime_error("the browser's protocol runs on a port here");
  const std::string program = FindProgram(command.program);
  if (program.empty()) throw std::runtime_error("no browser at " + command.program);
  const bool host = IsHostProgram(program);
  // Paths the browser is given are in its own system's form.
  const auto pathFor = [&](const std::string& path) {
    return host ? HostPath(path) : Backslashed(path);
  };
  const std::string scratch = Backslashed(command.scratchFolder);
  const std::string tmp = scratch + "\\tmp";
  ::CreateDirectoryA(tmp.c_str(), nullptr);

  std::string line;
  AppendArgument(line, program);
  AppendArgument(line, "--user-data-dir=" + pathFor(command.profileFolder));
  for (const std::string& arg : command.arguments) AppendArgument(line, arg);
  AppendArgument(line, "--remote-debugging-port=0");

  std::vector<std::pair<std::string, std::string>> moved;
  if (host) {
    for (const char* name : {"config", "cache"})
      ::CreateDirectoryA((scratch + "\\" + name).c_str(), nullptr);
    moved = {{"TMPDIR", pathFor(tmp)},
             {"XDG_CONFIG_HOME", pathFor(scratch + "\\config")},
             {"XDG_CACHE_HOME", pathFor(scratch + "\\cache")}};
  } else {
    moved = {{"TMP", tmp}, {"TEMP", tmp}};
  }
  std::string environment = BrowserEnvironment(moved);

  // Its output goes nowhere: the host's console is not the browser's.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  UniqueHandle<win32::FileHandleTraits> nul(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                          &inheritable, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (nul) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  }

  HandleOwner job(::CreateJobObjectA(nullptr, nullptr));
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  PROCESS_INFORMATION info{};
  const DWORD flags = CREATE_NO_WINDOW | (host ? 0 : CREATE_SUSPENDED);
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, nul ? TRUE : FALSE, flags,
                        environment.data(), nullptr, &startup, &info))
    throw std::runtime_error("cannot start " + program + ": error " +
                             std::to_string(::GetLastError()));
  HandleOwner thread(info.hThread);
  HandleOwner process(info.hProcess);
  if (info.dwProcessId == 0) {
    // A program of the host: nothing to hold on to (Wine hands back no process).
    thread.release();
    process.release();
    return std::make_unique<WindowsBrowser>(HandleOwner(), HandleOwner());
  }
  if (job && !::AssignProcessToJobObject(job.get(), process.get())) job.reset();
  if (!host) ::ResumeThread(thread.get());
  return std::make_unique<WindowsBrowser>(std::move(process), std::move(job));
}

std::string MakePrivateTempFolder(std::string_view prefix, std::string& error) {
  // Under Wine the host's own folder for temporary files (its TMPDIR, else /tmp, on drive Z:):
  // a browser of the host keeps sockets there, whose paths must stay short, which the prefix's
  // folder, deep in the host's file system, does not.
  const char* hostTmp = std::getenv("TMPDIR");
  const std::string host =
      "Z:" + Backslashed(hostTmp && hostTmp[0] == '/' ? hostTmp : "/tmp") + "\\";
  const DWORD attributes = ::GetFileAttributesA(host.c_str());
  char base[MAX_PATH + 1] = {};
  DWORD length = 0;
  if (WineHostName() && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) && host.size() <= MAX_PATH) {
    std::memcpy(base, host.c_str(), host.size());
    length = DWORD(host.size());
  } else {
    length = ::GetTempPathA(sizeof base, base);
  }
  if (length == 0 || length > MAX_PATH) {
    error = "no folder for temporary files";
    return {};
  }
  std::random_device random;
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "%08x", unsigned(random()));
    const std::string folder = std::string(base) + std::string(prefix) + name;
    if (::CreateDirectoryA(folder.c_str(), nullptr)) return folder;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  error = "cannot make a folder in " + std::string(base) + ": error " +
          std::to_string(::GetLastError());
  return {};
}

std::string FileUrlForBrowser(std::string_view program, std::string_view path) {
  const std::string file(path);
  const std::string host = IsHostProgram(FindProgram(program)) ? HostPath(file) : std::string();
  return FileUrlOfPath(host.empty() ? file : host);
}

bool BrowserRunsWithHighestRights(std::string_view program) {
  // A Windows browser keeps its sandbox for every user. A host program runs as the user Wine
  // runs as, which its system's process table tells.
  if (!IsHostProgram(std::string(program))) return false;
  UniqueFile status = OpenFile("Z:\\proc\\self\\status", "rb");
  if (!status) return false;
  char line[256];
  while (std::fgets(line, sizeof line, status.get())) {
    unsigned real = 1, effective = 1;
    if (std::sscanf(line, "Uid: %u %u", &real, &effective) == 2) return effective == 0;
  }
  return false;
}

std::string FindProgram(std::string_view program) {
  const auto isFile = [](const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  if (program.empty()) return {};
  const std::string name(program);
  if (name.find_first_of("\\/:") != std::string::npos) return isFile(name) ? name : std::string();
  char found[MAX_PATH + 1] = {};
  const DWORD length = ::SearchPathA(nullptr, name.c_str(), ".exe", sizeof found, found, nullptr);
  return length > 0 && length <= MAX_PATH ? std::string(found) : std::string();
}

}  // namespace lorvex::platform
