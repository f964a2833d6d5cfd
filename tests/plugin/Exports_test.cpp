// The exports as the host sees them: loaded from lorvex.dll by name and called through
// pointers of the exact stdcall signatures; and the dispatch called in-process, where the
// library's module-wide state can be inspected.
#include "plugin/lorvex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32/MemoryStream.h"
#include "platform/win32/UniqueHandle.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"

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

}  // namespace
}  // namespace lorvex
