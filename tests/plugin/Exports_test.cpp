// The exports as the host sees them: loaded from lorvex.dll by name and called through
// pointers of the exact stdcall signatures; and the dispatch called in-process, where the
// library's module-wide state can be inspected.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/MemoryStream.h"
#include "platform/win32/UniqueHandle.h"
#include "plugin/lorvex.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"
#include "util/FileOperation.h"

// After <windows.h>, which the headers above include.
#include <psapi.h>

// Pushes argBytes bytes of args, calls fn, and returns how many bytes the callee removed from
// the stack (a stdcall function removes exactly its arguments).
extern "C" uint32_t MeasureStackPop(void* fn, const void* args, uint32_t argBytes);
asm(R"(
  .text
  .globl _MeasureStackPop
_MeasureStackPop:
  pushl %ebp
  movl %esp, %ebp
  pushl %esi
  pushl %edi
  pushl %ebx
  movl 16(%ebp), %ecx
  movl 12(%ebp), %esi
  subl %ecx, %esp
  movl %esp, %edi
  cld
  rep movsb
  movl %esp, %ebx
  call *8(%ebp)
  movl %esp, %eax
  subl %ebx, %eax
  leal -12(%ebp), %esp
  popl %ebx
  popl %edi
  popl %esi
  popl %ebp
  ret
)");

namespace lorvex {
namespace {

using win32::ComPtr;

class DllExports : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_) << "lorvex.dll not found"; }

  template <typename F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(library_.get(), name)));
  }

  win32::UniqueModule library_{::LoadLibraryA("lorvex.dll")};
};

using IntOf = int32_t(__stdcall*)(int32_t);
using TextOf = const char*(__stdcall*)(int32_t);

TEST_F(DllExports, DescribeTheThreeExtensions) {
  ASSERT_EQ(Get<int32_t(__stdcall*)()>("getcount")(), 3);
  const char* names[] = {"Import HTML Files", "Import MHT,EML Files", "Convert HTML to Text"};
  const char* formats[] = {"HTML Files(*.htm;*.html)|*.htm;*.html",
                           "Web archive(*.mht;*.eml)|*.mht;*.eml",
                           "HTML -> Text(*.htm;*.html)|*.htm;*.html"};
  std::string author = Get<TextOf>("getauthor")(0);
  EXPECT_FALSE(author.empty());
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Get<IntOf>("gettype")(i), 1);
    EXPECT_STREQ(Get<TextOf>("getname")(i), names[i]);
    EXPECT_STREQ(Get<TextOf>("getdescription")(i), names[i]);
    EXPECT_STREQ(Get<TextOf>("getsupportedformats")(i), formats[i]);
    EXPECT_STREQ(Get<TextOf>("getversion")(i), "V1.00");
    EXPECT_EQ(Get<TextOf>("getauthor")(i), author);
  }
}

TEST_F(DllExports, OutOfRangeIndexes) {
  EXPECT_EQ(Get<IntOf>("gettype")(7), 1);
  EXPECT_EQ(Get<IntOf>("gettype")(-1), 1);
  for (int32_t index : {3, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(Get<TextOf>("getname")(index), nullptr) << index;
    EXPECT_EQ(Get<TextOf>("getauthor")(index), nullptr) << index;
    EXPECT_STREQ(Get<TextOf>("getdescription")(index), "") << index;
    EXPECT_STREQ(Get<TextOf>("getversion")(index), "") << index;
    EXPECT_STREQ(Get<TextOf>("getsupportedformats")(index), "") << index;
  }
}

TEST_F(DllExports, RemoveExactlyTheirArgumentsFromTheStack) {
  ComPtr<IStream> stream = win32::NewMemoryStream();
  IStream* hostStream = stream.Get();
  bool isPage = false;
  TPlugInRequest request{};
  request.WorkFolder = request.TemplateFolder = request.FileName = "";

  struct {
    TPlugInRequest request;
    int32_t index;
    IStream** stream;
    bool* isPage;
  } initalizeArgs{request, 5, &hostStream, &isPage};
  static_assert(sizeof initalizeArgs == 84);
  EXPECT_EQ(MeasureStackPop(Get<void*>("initalize"), &initalizeArgs, 84), 84u);

  struct {
    TPlugInRequest request;
    const char* html;
    const char* location;
    IStream* stream;
    uint32_t quiet;  // a one-byte boolean in a four-byte slot
  } loadArgs{request, "", "", hostStream, 1};
  static_assert(sizeof loadArgs == 88);
  EXPECT_EQ(MeasureStackPop(Get<void*>("loadhtmltostream"), &loadArgs, 88), 88u);

  struct {
    TPlugInRequest request;
    IStream* stream;
  } blankArgs{request, hostStream};
  static_assert(sizeof blankArgs == 76);
  EXPECT_EQ(MeasureStackPop(Get<void*>("loadblankpagetostream"), &blankArgs, 76), 76u);

  EXPECT_EQ(MeasureStackPop(Get<void*>("getcount"), nullptr, 0), 0u);
  int32_t index = 1;
  EXPECT_EQ(MeasureStackPop(Get<void*>("getname"), &index, 4), 4u);
}

// Loading the library initialises COM for the loading thread and unloading undoes it: run on
// a thread of its own, where nothing else has touched COM.
TEST(LibraryLifetime, InitialisesComForTheLoadingThreadUntilUnloaded) {
  HRESULT whileLoaded = E_FAIL, afterUnload = E_FAIL;
  bool loaded = false;
  std::thread([&] {
    win32::UniqueModule library(::LoadLibraryA("lorvex.dll"));
    loaded = bool(library);
    whileLoaded = ::CoInitialize(nullptr);  // S_FALSE: already initialised on this thread
    if (SUCCEEDED(whileLoaded)) ::CoUninitialize();
    library.reset();
    afterUnload = ::CoInitialize(nullptr);  // S_OK: the library's reference is gone
    if (SUCCEEDED(afterUnload)) ::CoUninitialize();
  }).join();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(whileLoaded, S_FALSE);
  EXPECT_EQ(afterUnload, S_OK);
}

// In-process dispatch: the module-wide state is visible here.
class Dispatch : public testing::Test {
 protected:
  TPlugInRequest Request(const std::string& file) {
    file_ = file;
    TPlugInRequest request{};
    request.HostHandle = hostWindow_;
    request.WorkFolder = folder_.path().c_str();
    request.TemplateFolder = "";
    request.DocumentId = 42;
    request.FileName = file_.c_str();
    request.PackMode = 6;
    return request;
  }
  std::string HostBytes() { return win32::ReadAll(stream_.Get()); }

  support::TempFolder folder_;
  std::string file_;
  // Only passed through and compared, so it need not be a live window.
  const HWND hostWindow_ = reinterpret_cast<HWND>(0x1234);
  ComPtr<IStream> stream_ = win32::NewMemoryStream();
  IStream* host_ = stream_.Get();
};

TEST_F(Dispatch, UnknownIndexLeavesTheHostStreamUntouched) {
  win32::WriteAll(host_, "host's own bytes");
  bool isPage = false;
  EXPECT_FALSE(initalize(Request(folder_.File("a.htm", "<p>x")), 5, &host_, &isPage));
  EXPECT_TRUE(isPage);
  EXPECT_EQ(HostBytes(), "host's own bytes");
  EXPECT_EQ(ApplicationOwner(), nullptr);
}

TEST_F(Dispatch, CopiesTheRequestAndResetsTheOwnerWindowEveryTime) {
  const std::string page = folder_.File("a.htm", "<p>x");
  for (int32_t index : {0, 1, 2, 3, -1}) {
    SetApplicationOwner(hostWindow_);
    bool isPage = false;
    TPlugInRequest request = Request(page);
    request.DocumentId = 100 + index;
    initalize(request, index, &host_, &isPage);
    EXPECT_EQ(ApplicationOwner(), nullptr) << index;
    EXPECT_EQ(CurrentRequest().DocumentId, 100 + index);
    EXPECT_EQ(isPage, index != 2) << index;
  }
}

TEST_F(Dispatch, MissingFileFailsAndResetsTheOwnerWindow) {
  bool isPage = true;
  EXPECT_FALSE(initalize(Request(folder_.path() + "\\missing.htm"), 2, &host_, &isPage));
  EXPECT_FALSE(isPage);
  EXPECT_EQ(ApplicationOwner(), nullptr);
  EXPECT_EQ(HostBytes(), "");
  EXPECT_FALSE(initalize(Request(folder_.path() + "\\missing.htm"), 0, &host_, &isPage));
  EXPECT_EQ(ApplicationOwner(), nullptr);
}

TEST_F(Dispatch, ConversionReachesTheHostStream) {
  bool isPage = true;
  ASSERT_TRUE(initalize(Request(folder_.File("a.htm", "<p>Hello")), 2, &host_, &isPage));
  std::string zip = HostBytes();
  ASSERT_GE(zip.size(), 22u);
  EXPECT_EQ(zip.substr(0, 4), "PK\x03\x04");
}

TEST_F(Dispatch, NullStreamArgumentsAreRefused) {
  bool isPage = false;
  EXPECT_FALSE(initalize(Request(folder_.File("a.htm", "x")), 2, nullptr, &isPage));
  IStream* none = nullptr;
  EXPECT_FALSE(initalize(Request(folder_.File("a.htm", "x")), 2, &none, nullptr));
  loadblankpagetostream(Request(""), nullptr);  // must not crash
}

// The host boundary: every export and index fed the awkward requests a host can send. Each
// call gives a defined result (a result byte of 0 or 1; true only when the document reached
// the host stream), lets no exception out, and writes nothing outside the work folder.
using InitalizeCall = uint8_t(__stdcall*)(TPlugInRequest, int32_t, IStream**, bool*);
using LoadHtmlCall = uint8_t(__stdcall*)(TPlugInRequest, const char*, const char*, IStream*, bool);
using LoadBlankCall = void(__stdcall*)(TPlugInRequest, IStream*);

const char* __attribute__((regparm(1))) HostText(const char*) { return "No folder: %s"; }

constexpr std::string_view kHostBytes = "host's own bytes";
constexpr int32_t kIndexes[] = {0, 1, 2, 3, -1, INT32_MIN};

class HostBoundary : public DllExports {
 protected:
  void SetUp() override {
    DllExports::SetUp();
    namespace fs = std::filesystem;
    fs::create_directories(root_ + "\\work");
    fs::create_directories(root_ + "\\sentinel\\folder");
    WriteFileBytes(root_ + "\\sentinel\\page.htm", "<html><body><p>text</p></body></html>");
    WriteFileBytes(root_ + "\\sentinel\\empty.htm", "");
    WriteFileBytes(
        root_ + "\\sentinel\\page.mht",
        "Content-Type: multipart/related; boundary=\"b\"; type=\"text/html\"\r\n\r\n"
        "--b\r\nContent-Type: text/html\r\nContent-Location: http://h/p.htm\r\n\r\n<p>x\r\n"
        "--b\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Location: http://h/i.gif\r\n\r\nR0lG\r\n--b--\r\n");
    before_ = Outside();
  }

  // The base request: every string given, no callbacks, no host window.
  TPlugInRequest Request(int32_t index) const {
    TPlugInRequest request{};
    request.WorkFolder = work_.c_str();
    request.TemplateFolder = sentinel_.c_str();
    request.DocumentId = 42;
    request.FileName = index == 1 ? archive_.c_str() : page_.c_str();
    request.PackMode = 6;
    request.ProxyServer = "127.0.0.1";
    request.ProxyPort = 9;
    request.HttpReadTimeout = 1000;
    request.DialogFont.Name = "Tahoma";
    request.DialogFont.Size = 9;
    request.GetHostMessage = HostText;
    return request;
  }

  static ComPtr<IStream> HostStream() {
    ComPtr<IStream> stream = win32::NewMemoryStream();
    win32::WriteAll(stream.Get(), kHostBytes);
    return stream;
  }
  // True when the result byte is 0 or 1 and a true result left a packed document.
  static ::testing::AssertionResult Defined(uint8_t result, IStream* stream) {
    if (result > 1) return ::testing::AssertionFailure() << "result byte " << int(result);
    std::string bytes = stream ? win32::ReadAll(stream) : std::string();
    if (result == 1 && bytes.substr(0, 4) != "PK\x03\x04")
      return ::testing::AssertionFailure() << "true without a document";
    return ::testing::AssertionSuccess();
  }

  // Everything beside the work folder, the files the request named included: names, and the
  // bytes of small files (the size of large ones).
  std::set<std::string> Outside() const {
    std::set<std::string> names;
    namespace fs = std::filesystem;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      std::string name = entry.path().lexically_relative(root_).generic_string();
      if (name == "work" || name.rfind("work/", 0) == 0) continue;
      if (entry.is_regular_file())
        name += "=" + (entry.file_size() < (1u << 20) ? ReadFileBytes(entry.path().string())
                                                      : std::to_string(entry.file_size()));
      names.insert(name);
    }
    return names;
  }
  void ExpectNothingOutside(const std::string& what) {
    EXPECT_EQ(Outside(), before_) << what;
    namespace fs = std::filesystem;
    for (const char* id : {"42", "-7", "-2147483648"})
      for (const fs::path& folder : {fs::current_path(), fs::path("C:\\")})
        for (const char* suffix : {".htm", ".files"})
          EXPECT_FALSE(fs::exists(folder / (std::string(id) + suffix))) << what << " " << folder;
  }
  void EmptyWorkFolder() {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(root_ + "\\work")) fs::remove_all(entry.path());
  }

  support::TempFolder temp_;
  const std::string root_ = temp_.path();
  const std::string work_ = root_ + "\\work";
  const std::string sentinel_ = root_ + "\\sentinel";
  const std::string page_ = sentinel_ + "\\page.htm";
  const std::string archive_ = sentinel_ + "\\page.mht";
  const std::string folder_ = sentinel_ + "\\folder";
  const std::string empty_ = sentinel_ + "\\empty.htm";
  const std::string underFile_ = page_ + "\\work";
  std::set<std::string> before_;
};

TEST_F(HostBoundary, AwkwardRequestsGiveDefinedResultsAndStayInTheWorkFolder) {
  auto initalizeCall = Get<InitalizeCall>("initalize");
  auto loadHtml = Get<LoadHtmlCall>("loadhtmltostream");
  auto loadBlank = Get<LoadBlankCall>("loadblankpagetostream");
  // Each case changes the base request; expected results of initalize for indexes 0, 1 and 2
  // ('1' true, '0' false), and of loadhtmltostream. Where nothing could be written, the archive
  // import leaves nothing to pack, which counts as failed.
  struct Case {
    const char* what;
    std::function<void(TPlugInRequest&)> change;
    const char* initalize;
    char loadHtml;
  };
  const std::string& underFile = underFile_;
  const std::string& folder = folder_;
  const std::string& empty = empty_;
  const Case cases[] = {
      {"as given", [](TPlugInRequest&) {}, "111", '1'},
      {"no WorkFolder", [](TPlugInRequest& r) { r.WorkFolder = nullptr; }, "001", '0'},
      {"no TemplateFolder", [](TPlugInRequest& r) { r.TemplateFolder = nullptr; }, "111", '1'},
      {"no FileName", [](TPlugInRequest& r) { r.FileName = nullptr; }, "000", '1'},
      {"no ProxyServer", [](TPlugInRequest& r) { r.ProxyServer = nullptr; }, "111", '1'},
      {"no font name", [](TPlugInRequest& r) { r.DialogFont.Name = nullptr; }, "111", '1'},
      {"no strings at all",
       [](TPlugInRequest& r) {
         r.WorkFolder = r.TemplateFolder = r.FileName = r.ProxyServer = r.DialogFont.Name = nullptr;
       },
       "000", '0'},
      {"empty WorkFolder", [](TPlugInRequest& r) { r.WorkFolder = ""; }, "001", '0'},
      {"WorkFolder under a file", [&](TPlugInRequest& r) { r.WorkFolder = underFile.c_str(); },
       "001", '0'},
      {"negative DocumentId", [](TPlugInRequest& r) { r.DocumentId = -7; }, "111", '1'},
      {"INT_MIN DocumentId", [](TPlugInRequest& r) { r.DocumentId = INT32_MIN; }, "111", '1'},
      {"FileName is a folder", [&](TPlugInRequest& r) { r.FileName = folder.c_str(); }, "000", '1'},
      {"FileName is empty", [&](TPlugInRequest& r) { r.FileName = empty.c_str(); }, "101", '1'},
  };
  for (const Case& c : cases) {
    for (int32_t index : kIndexes) {
      const std::string what = std::string(c.what) + ", index " + std::to_string(index);
      TPlugInRequest request = Request(index);
      c.change(request);
      ComPtr<IStream> stream = HostStream();
      IStream* variable = stream.Get();
      bool isPage = false;
      uint8_t result = initalizeCall(request, index, &variable, &isPage);
      EXPECT_TRUE(Defined(result, stream.Get())) << what;
      if (index < 0 || index > 2) {
        EXPECT_EQ(result, 0) << what;
        EXPECT_EQ(win32::ReadAll(stream.Get()), kHostBytes) << what;
      } else {
        EXPECT_EQ(result, c.initalize[index] - '0') << what;
      }
      EXPECT_EQ(isPage, index != 2) << what;
      // No stream to write into: nothing can reach the host.
      IStream* none = nullptr;
      EXPECT_EQ(initalizeCall(request, index, &none, &isPage), 0) << what;
      EXPECT_EQ(initalizeCall(request, index, nullptr, nullptr), 0) << what;
      ExpectNothingOutside(what);
      EmptyWorkFolder();
    }
    TPlugInRequest request = Request(0);
    c.change(request);
    const std::string what = c.what;
    ComPtr<IStream> stream = HostStream();
    uint8_t result = loadHtml(request, "<p>x", sentinel_.c_str(), stream.Get(), true);
    EXPECT_TRUE(Defined(result, stream.Get())) << what;
    EXPECT_EQ(result, c.loadHtml - '0') << what;
    for (auto [html, location] : {std::pair<const char*, const char*>{nullptr, "C:\\"},
                                  {"<p>y", nullptr},
                                  {nullptr, nullptr}}) {
      stream = HostStream();
      EXPECT_TRUE(Defined(loadHtml(request, html, location, stream.Get(), true), stream.Get()))
          << what;
    }
    EXPECT_EQ(loadHtml(request, "<p>x", "", nullptr, true), 0) << what;
    stream = HostStream();
    loadBlank(request, stream.Get());
    EXPECT_EQ(win32::ReadAll(stream.Get()).substr(0, 4), "PK\x03\x04") << what;
    loadBlank(request, nullptr);
    ExpectNothingOutside(what + ", loading html");
    EmptyWorkFolder();
  }
}

// A host thread that never initialised COM: the exports work there as on the host's main
// thread, and leave the thread's COM state as they found it.
TEST_F(HostBoundary, ThreadWithoutComGetsTheSameResults) {
  auto initalizeCall = Get<InitalizeCall>("initalize");
  auto loadHtml = Get<LoadHtmlCall>("loadhtmltostream");
  auto loadBlank = Get<LoadBlankCall>("loadblankpagetostream");
  std::vector<int> results;
  std::string blank;
  HRESULT afterwards = E_FAIL;
  test::TestHttpServer server;
  server.Respond("/a.gif", 200, "GIF89a", "Content-Type: image/gif\r\n");
  std::thread([&] {
    for (int32_t index : {0, 1, 2, 3}) {
      ComPtr<IStream> stream = HostStream();
      IStream* variable = stream.Get();
      bool isPage = false;
      results.push_back(initalizeCall(Request(index), index, &variable, &isPage));
    }
    // A page with a resource: the downloader needs COM, and falls back to its second engine
    // (a second request) where it has none.
    ComPtr<IStream> stream = HostStream();
    // (Tags in the last few characters of a page are not looked at: text follows.)
    const std::string page =
        "<img src=\"" + server.Url("/a.gif") + "\">\r\n<p>" + std::string(100, '.') + "</p>";
    results.push_back(loadHtml(Request(0), page.c_str(), sentinel_.c_str(), stream.Get(), true));
    stream = HostStream();
    loadBlank(Request(0), stream.Get());
    blank = win32::ReadAll(stream.Get());
    afterwards = ::CoInitialize(nullptr);
    if (SUCCEEDED(afterwards)) ::CoUninitialize();
  }).join();
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 0, 1}));
  EXPECT_EQ(blank.substr(0, 4), "PK\x03\x04");
  EXPECT_EQ(afterwards, S_OK);
  EXPECT_EQ(server.Requests().size(), 1u);
  ExpectNothingOutside("thread without COM");
}

// A 200 MB file (sparse: made in an instant, removed with the folder) gives each extension a
// defined result; the archive import and the conversion read it into memory once.
TEST_F(HostBoundary, HugeFileIsHeldOnce) {
  constexpr int64_t kHugeSize = 200ll << 20;
  const std::string huge = sentinel_ + "\\huge.htm";
  {
    win32::UniqueFileHandle file(::CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER size;
    size.QuadPart = kHugeSize;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.get()));
  }
  before_ = Outside();
  auto initalizeCall = Get<InitalizeCall>("initalize");
  auto privateBytes = [] {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return int64_t(counters.PagefileUsage);
  };
  for (int32_t index : {1, 2, 0}) {
    TPlugInRequest request = Request(index);
    request.FileName = huge.c_str();
    ComPtr<IStream> stream = HostStream();
    IStream* variable = stream.Get();
    bool isPage = false;
    // The process's private memory, sampled while the call runs (its own peak counter
    // would hold earlier tests' peaks).
    const int64_t start = privateBytes();
    std::atomic<bool> done{false};
    int64_t peak = start;
    std::thread sampler([&] {
      while (!done) {
        peak = std::max(peak, privateBytes());
        ::Sleep(2);
      }
    });
    uint8_t result = initalizeCall(request, index, &variable, &isPage);
    done = true;
    sampler.join();
    const int64_t growth = peak - start;
    std::printf("index %d: result %d, peak private memory growth %lld MB\n", int(index),
                int(result), static_cast<long long>(growth >> 20));
    EXPECT_TRUE(Defined(result, stream.Get())) << index;
    // The archive is held once; the conversion holds the page and its text, each once.
    if (index == 1) {
      EXPECT_LT(growth, kHugeSize + kHugeSize / 4);
    } else if (index == 2) {
      EXPECT_LT(growth, 2 * kHugeSize + kHugeSize / 4);
    }
    ExpectNothingOutside("huge file, index " + std::to_string(index));
    EmptyWorkFolder();
  }
}

}  // namespace
}  // namespace lorvex
