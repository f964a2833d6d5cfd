// lorvex-host.exe: the reference host. It loads lorvex.dll by name, lists its extensions,
// fills a request record from its options, supplies the host stream and the two
// register-convention callbacks, runs an export and writes the host stream's bytes to a file.
// Its PrepareForm watches the library's dialogs (HostDialogs.h): it answers the error list
// with the button chosen by --on-errors, so that no run waits for a person (printing each
// address it lists: "failed URL", and "still-failed URL" after a retry), presses Skip on the
// progress dialog whose bar stands still for --skip-stalled MS (HostDialogs.h), and saves a
// picture of each dialog when it is first shown if --screenshot-dir is given. The look of the
// dialogs comes from --font, --font-size, --font-charset and --dialog-color (a colour value,
// or 0x80000000 plus a system colour index).
//
//   lorvex-host list
//   lorvex-host run --index N --file PATH --work DIR --doc ID [--template DIR] [--pack-mode B]
//                   [--proxy HOST:PORT] [--read-timeout MS] [--host-window HWND] [--out FILE]
//                   [--complete] [--snapshot] [--browser PATH] [--connections N]
//                   [dialog options]
//   lorvex-host blank --template DIR [--pack-mode B] --out FILE
//   lorvex-host loadhtml --html-file F --location L --work DIR --doc ID [--quiet] [--out FILE]
//                   [--complete] [--snapshot] [--connections N] [dialog options]
//
// --complete (run and loadhtml) turns on the library's per-user setting CompletePages for the
// run: it saves what today's pages need too. --snapshot turns on its Snapshot setting: the
// page is saved as a browser rendered it, without its scripts (complete pages with it).
// --browser PATH sets its Browser setting: the browser that renders a file run with --snapshot.
// --connections N sets the library's Connections setting for the run: the most transfers at
// once.
//   dialog options: [--on-errors ok|stop|retry] [--font NAME] [--font-size N]
//                   [--font-charset N] [--dialog-color N] [--screenshot-dir DIR]
//                   [--skip-stalled MS]
//
// --trace (any command) also shows on stderr the library's debugger output: one line for each
// failure that an export, COM method, window procedure or timer swallowed (TracedRun.h), and
// for the run command each dialog that PrepareForm receives.
//
// Exit status: 0 when the export ran (whatever it answered), 2 for bad arguments (an --out
// file that cannot be written included), 3 when the library or an export could not be loaded.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostAbi.h"
#include "HostDialogs.h"
#include "TracedRun.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/ComPtr.h"
#include "platform/win32/MemoryStream.h"
#include "platform/win32/UniqueHandle.h"
#include "util/FileOperation.h"

namespace {

using lorvex::host::GetCountFunc;
using lorvex::host::GetTextFunc;
using lorvex::host::GetTypeFunc;
using lorvex::host::InitalizeFunc;
using lorvex::host::LoadBlankFunc;
using lorvex::host::LoadHtmlFunc;
using lorvex::host::TPlugInRequest;
using lorvex::win32::ComPtr;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The host's message table. "DirectoryCreateFail" is a pattern with one %s.
__attribute__((regparm(1))) const char* GetHostMessage(const char* key) {
  static const std::map<std::string, std::string> messages{
      {"DirectoryCreateFail", "Cannot create the folder %s."},
  };
  auto it = key ? messages.find(key) : messages.end();
  return it != messages.end() ? it->second.c_str() : "";
}

bool tracePrepareForm = false;

// The host dresses every dialog the library creates: it reports it when tracing, and
// watches it (pictures, the error list's answer).
__attribute__((regparm(1))) void PrepareForm(HWND form) {
  if (tracePrepareForm) std::fprintf(stderr, "PrepareForm %p\n", static_cast<void*>(form));
  lorvex::host::PrepareDialog(form);
}

struct Options {
  std::map<std::string, std::string> values;
  bool Has(const std::string& name) const { return values.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = "") const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
  }
  std::string Require(const std::string& name) const {
    if (!Has(name)) throw UsageError("missing --" + name);
    return Get(name);
  }
  long Number(const std::string& name, long fallback) const {
    if (!Has(name)) return fallback;
    std::string text = Get(name);
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end) throw UsageError("--" + name + " wants a number");
    return value;
  }
};

Options ParseOptions(int argc, char** argv, int first) {
  static const char* kFlags[] = {"quiet", "trace", "complete", "snapshot"};
  Options options;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) throw UsageError("unexpected argument " + arg);
    std::string name = arg.substr(2);
    bool flag = false;
    for (const char* f : kFlags) flag |= name == f;
    if (flag) {
      options.values[name] = "1";
      continue;
    }
    if (i + 1 >= argc) throw UsageError("--" + name + " wants a value");
    options.values[name] = argv[++i];
  }
  return options;
}

// The strings a request points to; they live as long as the request is in use.
struct RequestStrings {
  std::string work, templ, file, proxy, fontName;
};

TPlugInRequest BuildRequest(const Options& options, RequestStrings& s) {
  TPlugInRequest request{};
  s.work = options.Get("work");
  s.templ = options.Get("template");
  s.file = options.Get("file");
  request.HostHandle = reinterpret_cast<HWND>(uintptr_t(options.Number("host-window", 0)));
  request.WorkFolder = s.work.c_str();
  request.TemplateFolder = s.templ.c_str();
  request.DocumentId = int32_t(options.Number("doc", 0));
  request.FileName = s.file.c_str();
  request.PackMode = uint8_t(options.Number("pack-mode", 6));
  // A system colour value unless told otherwise.
  request.DialogColor = uint32_t(options.Number("dialog-color", long(COLOR_BTNFACE | 0x80000000u)));
  if (options.Has("proxy")) {
    std::string proxy = options.Get("proxy");
    size_t colon = proxy.rfind(':');
    if (colon == std::string::npos) throw UsageError("--proxy wants HOST:PORT");
    s.proxy = proxy.substr(0, colon);
    request.UseProxy = 1;
    request.ProxyServer = s.proxy.c_str();
    request.ProxyPort = std::atoi(proxy.c_str() + colon + 1);
  } else {
    request.ProxyServer = s.proxy.c_str();
  }
  request.HttpReadTimeout = int32_t(options.Number("read-timeout", 30000));
  s.fontName = options.Get("font", "Tahoma");
  request.DialogFont = {
      s.fontName.c_str(), int32_t(options.Number("font-size", 9)), 0, DEFAULT_CHARSET, {}};
  request.FontCharset = uint8_t(options.Number("font-charset", GB2312_CHARSET));
  request.GetHostMessage = &GetHostMessage;
  request.PrepareForm = &PrepareForm;
  return request;
}

lorvex::host::DialogAutomation DialogAutomationOf(const Options& options) {
  lorvex::host::DialogAutomation automation;
  using lorvex::host::ErrorListAction;
  static const std::map<std::string, ErrorListAction> kActions{{"ok", ErrorListAction::Ok},
                                                               {"stop", ErrorListAction::Stop},
                                                               {"retry", ErrorListAction::Retry}};
  auto found = kActions.find(options.Get("on-errors", "ok"));
  if (found == kActions.end()) throw UsageError("--on-errors wants ok, stop or retry");
  automation.onErrors = found->second;
  automation.screenshotDir = options.Get("screenshot-dir");
  automation.skipStalledMs = int(options.Number("skip-stalled", 0));
  return automation;
}

template <typename F>
F Export(HMODULE library, const char* name) {
  auto address = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
  if (!address) throw std::runtime_error(std::string("lorvex.dll has no export ") + name);
  return address;
}

void SaveStream(const Options& options, IStream* stream) {
  if (!options.Has("out")) return;
  try {
    lorvex::WriteFileBytes(options.Get("out"), lorvex::win32::ReadAll(stream));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lorvex-host: --out: %s\n", e.what());
    std::exit(2);  // an --out that cannot be written is a bad argument
  }
}

const char* Bool(bool value) { return value ? "true" : "false"; }

int List(HMODULE library) {
  auto count = Export<GetCountFunc>(library, "getcount")();
  auto type = Export<GetTypeFunc>(library, "gettype");
  auto name = Export<GetTextFunc>(library, "getname");
  auto description = Export<GetTextFunc>(library, "getdescription");
  auto author = Export<GetTextFunc>(library, "getauthor");
  auto version = Export<GetTextFunc>(library, "getversion");
  auto formats = Export<GetTextFunc>(library, "getsupportedformats");
  auto text = [](const char* s) { return s ? s : "(null)"; };
  for (int32_t i = 0; i < count; ++i)
    std::printf("%d\t%d\t%s\t%s\t%s\t%s\t%s\n", int(i), int(type(i)), text(name(i)),
                text(description(i)), text(author(i)), text(version(i)), text(formats(i)));
  return 0;
}

int Run(HMODULE library, const Options& options) {
  options.Require("index");
  options.Require("file");
  options.Require("work");
  options.Require("doc");
  RequestStrings strings;
  TPlugInRequest request = BuildRequest(options, strings);
  ComPtr<IStream> stream = lorvex::win32::NewMemoryStream();
  IStream* hostStream = stream.Get();
  bool isPage = false;
  bool result = Export<InitalizeFunc>(library, "initalize")(
      request, int32_t(options.Number("index", 0)), &hostStream, &isPage);
  std::printf("result=%s ispage=%s\n", Bool(result), Bool(isPage));
  std::fflush(stdout);
  SaveStream(options, stream.Get());
  return 0;
}

int Blank(HMODULE library, const Options& options) {
  options.Require("template");
  options.Require("out");
  RequestStrings strings;
  TPlugInRequest request = BuildRequest(options, strings);
  ComPtr<IStream> stream = lorvex::win32::NewMemoryStream();
  Export<LoadBlankFunc>(library, "loadblankpagetostream")(request, stream.Get());
  SaveStream(options, stream.Get());
  return 0;
}

int LoadHtmlFile(HMODULE library, const Options& options) {
  std::string html;
  try {
    html = lorvex::ReadFileBytes(options.Require("html-file"));
  } catch (const lorvex::FileError& e) {
    throw UsageError(e.what());
  }
  std::string location = options.Require("location");
  options.Require("work");
  options.Require("doc");
  RequestStrings strings;
  TPlugInRequest request = BuildRequest(options, strings);
  ComPtr<IStream> stream = lorvex::win32::NewMemoryStream();
  bool result = Export<LoadHtmlFunc>(library, "loadhtmltostream")(
      request, html.c_str(), location.c_str(), stream.Get(), options.Has("quiet"));
  std::printf("result=%s\n", Bool(result));
  std::fflush(stdout);
  SaveStream(options, stream.Get());
  return 0;
}

// --complete, --snapshot, --connections N and --browser PATH: the library's per-user settings
// CompletePages (1), Snapshot (1), Connections (N) and Browser (PATH) for this run. The value
// the user had is put back when the run ends, or the value removed where there was none (the
// host's own prefix is the user's registry here).
class PageImportSetting {
 public:
  PageImportSetting(const char* name, DWORD type, std::optional<std::string> value) : name_(name) {
    if (!value) return;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0,
                          KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key_.put(),
                          nullptr) != ERROR_SUCCESS)
      throw std::runtime_error(std::string("cannot set the ") + name + " setting");
    DWORD size = 0;
    if (::RegQueryValueExA(key_.get(), name, nullptr, &previousType_, nullptr, &size) ==
        ERROR_SUCCESS) {
      std::string previous(size, '\0');
      if (::RegQueryValueExA(key_.get(), name, nullptr, &previousType_,
                             reinterpret_cast<BYTE*>(previous.data()), &size) == ERROR_SUCCESS) {
        previous.resize(size);
        previous_ = std::move(previous);
      }
    }
    ::RegSetValueExA(key_.get(), name, 0, type, reinterpret_cast<const BYTE*>(value->data()),
                     DWORD(value->size()));
  }
  static std::optional<std::string> Dword(std::optional<DWORD> value) {
    if (!value) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(&*value), sizeof(DWORD));
  }
  // A REG_SZ value holds its terminating zero.
  static std::optional<std::string> Text(std::optional<std::string> value) {
    if (value) value->push_back('\0');
    return value;
  }
  ~PageImportSetting() {
    if (!key_) return;
    if (previous_)
      ::RegSetValueExA(key_.get(), name_, 0, previousType_,
                       reinterpret_cast<const BYTE*>(previous_->data()), DWORD(previous_->size()));
    else
      ::RegDeleteValueA(key_.get(), name_);
  }
  PageImportSetting(const PageImportSetting&) = delete;
  PageImportSetting& operator=(const PageImportSetting&) = delete;

 private:
  static constexpr const char* kSettingsKey = "Software\\lorvex\\PageImport";
  const char* name_;
  lorvex::win32::UniqueHKey key_;
  DWORD previousType_ = 0;
  std::optional<std::string> previous_;
};

int Usage() {
  std::fputs(
      "usage: lorvex-host list\n"
      "       lorvex-host run --index N --file PATH --work DIR --doc ID [--template DIR]\n"
      "                       [--pack-mode B] [--proxy HOST:PORT] [--read-timeout MS]\n"
      "                       [--host-window HWND] [--trace] [--complete] [--snapshot]\n"
      "                       [--browser PATH] [--connections N] [--out FILE]\n"
      "                       [dialog options]\n"
      "       lorvex-host blank --template DIR [--pack-mode B] --out FILE\n"
      "       lorvex-host loadhtml --html-file F --location L --work DIR --doc ID [--quiet]\n"
      "                       [--complete] [--snapshot] [--connections N]\n"
      "                       [--out FILE] [dialog options]\n"
      "dialog options: [--on-errors ok|stop|retry] [--font NAME] [--font-size N]\n"
      "                [--font-charset N] [--dialog-color N] [--screenshot-dir DIR]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Lines end in LF as on the machine that reads them; text files are never written here.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return Usage();
  std::string command = argv[1];
  Options options;
  try {
    options = ParseOptions(argc, argv, 2);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "lorvex-host: %s\n", e.what());
    return Usage();
  }
  tracePrepareForm = options.Has("trace");
  try {
    lorvex::host::SetDialogAutomation(DialogAutomationOf(options));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "lorvex-host: %s\n", e.what());
    return Usage();
  }
  // The traced run is a child that this process debugs; the child itself sees the debugger.
  if (options.Has("trace") && !::IsDebuggerPresent()) return lorvex::host::RunTraced();

  // Without COM the library's calls fail and say so; the host goes on to show that.
  LORVEX_TRACE_IF_FAILED("lorvex-host", ::CoInitialize(nullptr));
  int status;
  {
    lorvex::win32::UniqueModule library(::LoadLibraryA("lorvex.dll"));
    if (!library) {
      std::fprintf(stderr, "lorvex-host: cannot load lorvex.dll (error %lu)\n", ::GetLastError());
      return 3;
    }
    try {
      const auto flag = [&](const char* name) {
        return PageImportSetting::Dword(options.Has(name) ? std::optional<DWORD>(1) : std::nullopt);
      };
      const PageImportSetting completePages("CompletePages", REG_DWORD, flag("complete"));
      const PageImportSetting snapshot("Snapshot", REG_DWORD, flag("snapshot"));
      const PageImportSetting connections(
          "Connections", REG_DWORD,
          PageImportSetting::Dword(
              options.Has("connections")
                  ? std::optional<DWORD>(DWORD(options.Number("connections", 6)))
                  : std::nullopt));
      const PageImportSetting browser(
          "Browser", REG_SZ,
          PageImportSetting::Text(options.Has("browser") ? std::optional(options.Get("browser"))
                                                         : std::nullopt));
      if (command == "list")
        status = List(library.get());
      else if (command == "run")
        status = Run(library.get(), options);
      else if (command == "blank")
        status = Blank(library.get(), options);
      else if (command == "loadhtml")
        status = LoadHtmlFile(library.get(), options);
      else
        status = Usage();
    } catch (const UsageError& e) {
      std::fprintf(stderr, "lorvex-host: %s\n", e.what());
      status = Usage();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "lorvex-host: %s\n", e.what());
      status = 3;
    }
  }
  ::CoUninitialize();
  return status;
}
