// The downloader component and its callback object, driven directly: the interface methods
// are called as urlmon would call them, with a fake binding and a fake data stream.
#include "download/IEDownload.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "download/DownloadFakes.h"
#include "platform/Platform.h"
#include "platform/win32/MemoryStream.h"
#include "support/TempFolder.h"
#include "support/win32/MessageLoop.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

using test::FakeBinding;
using test::FakeStream;
using test::PumpFor;
using test::PumpUntil;

constexpr HRESULT kTimeout = HRESULT(0x800C000B);

struct Completion {
  bool stream;
  HRESULT result;
  std::string content;  // what the stream held, read from its position 0
  bool operator==(const Completion&) const = default;
};

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text && *text; ++text) narrow += char(*text);
  return narrow;
}

// Takes a text handed out in task memory.
std::string TakeTaskText(LPWSTR text) {
  std::string narrow = Narrow(text);
  ::CoTaskMemFree(text);
  return narrow;
}

class CallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    download.UserAgent.clear();
    download.OnComplete = [this](TBSCB&, IStream* stream, HRESULT result) {
      Completion completion{stream != nullptr, result, {}};
      if (stream) {
        LARGE_INTEGER zero{};
        ULARGE_INTEGER position{};
        stream->Seek(zero, STREAM_SEEK_CUR, &position);
        completion.content = win32::ReadAll(stream);
        LARGE_INTEGER back{};
        back.QuadPart = LONGLONG(position.QuadPart);
        stream->Seek(back, STREAM_SEEK_SET, nullptr);
        positions.push_back(position.QuadPart);
      }
      completions.push_back(completion);
    };
  }

  TBSCB::Hold Make(const std::string& fileName = "") {
    TBSCB::Hold object = TBSCB::CreateUnbound(download.MakeInfo("http://127.0.0.1/x", fileName));
    EXPECT_EQ(object->OnStartBinding(0, &binding), S_OK);
    return object;
  }

  std::string Headers(TBSCB& object, HRESULT expected = S_OK) {
    LPWSTR headers = nullptr;
    EXPECT_EQ(object.BeginningTransaction(L"http://127.0.0.1/x", L"", 0, &headers), expected);
    return TakeTaskText(headers);
  }

  // Delivers the fake stream's bytes as the binding would: size is the total so far.
  void Deliver(TBSCB& object, const std::string& more,
               DWORD flags = BSCF_INTERMEDIATEDATANOTIFICATION) {
    data.Append(more);
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = &data;
    FORMATETC format{};
    EXPECT_EQ(object.OnDataAvailable(flags | (first ? BSCF_FIRSTDATANOTIFICATION : 0),
                                     DWORD(data.bytes.size()), &format, &medium),
              S_OK);
    first = false;
  }

  support::TempFolder folder;
  FakeBinding binding;
  FakeStream data;
  bool first = true;
  TIEDownload download;
  std::vector<Completion> completions;
  std::vector<ULONGLONG> positions;
};

// --- The component's settings ---------------------------------------------------------------

TEST(DownloaderSettings, InfoCopiesTheSettings) {
  TIEDownload download;
  download.TimeOut = 250;
  download.PostData = "p";
  download.PutFileName = "put.txt";
  download.Password = "pw";
  download.Username = "me";
  download.CustomVerb = "MOVE";
  download.ExtraInfo = "extra";
  download.Security = {true, "SD"};
  download.UserAgent = "agent";
  download.Range = {3, 8};
  download.SetMethod(TBindVerbOption::Custom);
  download.SetCodepage(TCodePageOption::UTF8);
  TInfo info = download.MakeInfo("http://h/a", "f.bin");
  download.AdditionalHeader.push_back("changed later");
  EXPECT_EQ(info.Sender, &download);
  EXPECT_EQ(info.Url, L"http://h/a");
  EXPECT_EQ(info.TimeOut, 250);
  EXPECT_EQ(info.FileName, "f.bin");
  EXPECT_EQ(info.PostData, "p");
  EXPECT_EQ(info.PutFileName, "put.txt");
  EXPECT_EQ(info.AdditionalHeader.size(), 1u);  // a copy
  EXPECT_EQ(info.Password, "pw");
  EXPECT_EQ(info.Username, "me");
  EXPECT_EQ(info.CustomVerb, "MOVE");
  EXPECT_EQ(info.ExtraInfo, "extra");
  EXPECT_EQ(info.Descriptor, "SD");
  EXPECT_TRUE(info.InheritHandle);
  EXPECT_EQ(info.UserAgent, "agent");
  EXPECT_EQ(info.RangeBegin, 3);
  EXPECT_EQ(info.RangeEnd, 8);
  EXPECT_EQ(info.BindVerb, 3u);
  EXPECT_EQ(info.BindF, 0xB3u);
  EXPECT_EQ(info.BindInfoF, 0u);
  EXPECT_EQ(info.CodePage, 65001u);
}

// The user agent comes from HKCU; the test points HKCU at a scratch key of its own.
class UserAgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\lorvex-test-hkcu", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, scratch.put(), nullptr),
              ERROR_SUCCESS);
    ::RegDeleteTreeA(scratch.get(), nullptr);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, scratch.get()), ERROR_SUCCESS);
  }
  void TearDown() override {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegDeleteTreeA(scratch.get(), nullptr);
    scratch.reset();
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\lorvex-test-hkcu");
  }
  HKEY Settings() {
    HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExA(scratch.get(),
                                "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                                0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }
  win32::UniqueHKey scratch;
};

TEST_F(UserAgentTest, MissingKeyOrValueGivesNoUserAgentLine) {
  EXPECT_EQ(TIEDownload::ReadSystemUserAgent(), "");
  win32::UniqueHKey settings(Settings());
  EXPECT_EQ(TIEDownload::ReadSystemUserAgent(), "");
  TIEDownload download;
  EXPECT_EQ(download.UserAgent, "");
  TBSCB::Hold object = TBSCB::CreateUnbound(download.MakeInfo("http://h/", ""));
  LPWSTR headers = nullptr;
  ASSERT_EQ(object->BeginningTransaction(L"http://h/", L"", 0, &headers), S_OK);
  EXPECT_EQ(TakeTaskText(headers), "Content-Type: application/x-www-form-urlencoded\r\n");
}

TEST_F(UserAgentTest, StringValueIsReadAndOtherTypesThrow) {
  win32::UniqueHKey settings(Settings());
  const char agent[] = "Agent/7 (test)";
  ::RegSetValueExA(settings.get(), "User Agent", 0, REG_SZ, reinterpret_cast<const BYTE*>(agent),
                   sizeof agent);
  EXPECT_EQ(TIEDownload::ReadSystemUserAgent(), "Agent/7 (test)");
  EXPECT_EQ(TIEDownload().UserAgent, "Agent/7 (test)");
  DWORD number = 7;
  ::RegSetValueExA(settings.get(), "User Agent", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&number), sizeof number);
  EXPECT_THROW(TIEDownload::ReadSystemUserAgent(), std::runtime_error);
  EXPECT_THROW(TIEDownload{}, std::runtime_error);
}

// --- Identity and reference counting ----------------------------------------------------------

TEST_F(CallbackTest, AnswersExactlyFiveInterfacesWithOneIdentity) {
  TBSCB::Hold object = Make();
  IUnknown* identity = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  for (const IID* iid :
       {&IID_IBindStatusCallback, &IID_IHttpNegotiate, &IID_IAuthenticate, &IID_IHttpSecurity}) {
    IUnknown* face = nullptr;
    ASSERT_EQ(object->QueryInterface(*iid, reinterpret_cast<void**>(&face)), S_OK);
    IUnknown* back = nullptr;
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, identity);
    back->Release();
    face->Release();
  }
  for (const IID* iid : {&IID_IWindowForBindingUI, &IID_IStream, &IID_IBinding,
                         &IID_IHttpNegotiate2, &IID_IServiceProvider}) {
    void* face = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(*iid, &face), E_NOINTERFACE);
    EXPECT_EQ(face, nullptr);
  }
  identity->Release();
  EXPECT_EQ(download.RefCount(), 1);
}

TEST_F(CallbackTest, SharedCountAndDeferredDestruction) {
  LONG before = TBSCB::LiveObjects();
  TBSCB::Hold first = Make();
  TBSCB::Hold second = Make();
  EXPECT_EQ(first->AddRef(), 2u);  // one counter for every object of the component
  EXPECT_EQ(second->AddRef(), 3u);
  EXPECT_EQ(second->Release(), 2u);
  // The component lets go while "urlmon" still holds a reference: the object stays valid
  // until that reference is released.
  TBSCB* raw = first.get();
  first = TBSCB::Hold();
  EXPECT_EQ(TBSCB::LiveObjects(), before + 2);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(TBSCB::LiveObjects(), before + 1);
}

TEST(CallbackLifetime, ObjectOutlivesItsComponentSafely) {
  LONG before = TBSCB::LiveObjects();
  FakeBinding binding;
  IBindStatusCallback* callback = nullptr;
  {
    TIEDownload download;
    TBSCB::Hold object = TBSCB::CreateUnbound(download.MakeInfo("http://h/", ""));
    ASSERT_EQ(object->OnStartBinding(0, &binding), S_OK);
    callback = object.get();
    callback->AddRef();  // as urlmon holds it
  }
  // The component is gone: its running binding was aborted, the object no longer reaches it.
  EXPECT_EQ(binding.aborts, 1);
  EXPECT_EQ(TBSCB::LiveObjects(), before + 1);
  EXPECT_EQ(callback->OnStopBinding(E_ABORT, nullptr), S_OK);
  callback->Release();
  EXPECT_EQ(TBSCB::LiveObjects(), before);
}

// --- BeginningTransaction -----------------------------------------------------------------------

TEST_F(CallbackTest, HeaderTextForUserAgentRangeAndHeaderLines) {
  struct Case {
    std::string agent;
    int32_t begin, end;
    StringList lines;
    std::string expected;
  };
  const std::string type = "Content-Type: application/x-www-form-urlencoded";
  const Case cases[] = {
      {"X", 5, 9, {type}, "User-agent: X\r\nRange: bytes=5-9\r\n" + type + "\r\n"},
      {"", 0, 0, {type}, type + "\r\n"},
      {"A/1", 0, 0, {}, "User-agent: A/1\r\n"},
      {"", 7, 0, {}, "Range: bytes=7-\r\n"},
      {"", 0, 9, {}, "Range: bytes=0-9\r\n"},
      {"", 0, 0, {}, ""},
      {"X", 0, 0, {"", "X-Late: 1"}, "User-agent: X\r\n"},  // first line empty: none
      {"", 0, 0, {"A: 1", "", "B: 2"}, "A: 1\r\nB: 2\r\n"},
  };
  for (const Case& c : cases) {
    download.UserAgent = c.agent;
    download.Range = {c.begin, c.end};
    download.AdditionalHeader = c.lines;
    TBSCB::Hold object = Make();
    EXPECT_EQ(Headers(*object), c.expected) << c.agent << " " << c.begin << "-" << c.end;
  }
  EXPECT_TRUE(completions.empty());
}

TEST_F(CallbackTest, BeginningTransactionHandlerSeesAndReplacesTheText) {
  download.UserAgent = "U";
  std::string seen;
  download.OnBeginningTransaction = [&](TBSCB&, LPCWSTR url, LPCWSTR, ULONG,
                                        std::wstring& headers) -> HRESULT {
    seen = Narrow(url) + "|" + Narrow(headers.c_str());
    headers = L"X-Mine: 1\r\n";
    return S_FALSE;
  };
  TBSCB::Hold object = Make();
  EXPECT_EQ(Headers(*object, S_FALSE), "X-Mine: 1\r\n");
  EXPECT_EQ(seen,
            "http://127.0.0.1/x|User-agent: U\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n");
}

TEST_F(CallbackTest, ResumptionOfAnExistingFile) {
  std::string file = folder.File("part.bin", std::string(1000, 'a'));
  download.AdditionalHeader.clear();
  download.Range = {3, 4};  // a file download chooses its own range
  {
    TBSCB::Hold object = Make(file);
    EXPECT_EQ(Headers(*object), "Range: bytes=1000-\r\n");
    EXPECT_EQ(object->Info().RangeBegin, 1000);
    EXPECT_EQ(object->Info().RangeEnd, 0);
  }
  std::vector<std::string> asked;
  ULONG answer = 0;
  download.OnResume = [&](TBSCB&, const std::string& name, ULONG& action) {
    asked.push_back(name);
    EXPECT_EQ(action, 0u);
    action = answer;
  };
  for (ULONG action : {0u, 7u}) {
    answer = action;
    TBSCB::Hold object = Make(file);
    EXPECT_EQ(Headers(*object), "Range: bytes=1000-\r\n");
  }
  answer = 1;  // start again
  {
    TBSCB::Hold object = Make(file);
    EXPECT_EQ(Headers(*object), "");
    EXPECT_EQ(object->Info().RangeBegin, 0);
  }
  answer = 2;  // refuse: E_ABORT without a completion, and the binding really ends
  {
    TBSCB::Hold object = Make(file);
    EXPECT_EQ(Headers(*object, E_ABORT), "");
    EXPECT_EQ(binding.aborts, 1);
    EXPECT_TRUE(completions.empty());
    EXPECT_EQ(object->OnStopBinding(S_OK, nullptr), S_OK);
    EXPECT_EQ(completions, (std::vector<Completion>{{false, E_ABORT, ""}}));
  }
  EXPECT_THAT(asked, ::testing::Each(file));
  EXPECT_EQ(asked.size(), 4u);
  // No file: no range at all, whatever the component's range says.
  TBSCB::Hold fresh = Make(folder.path() + "\\new.bin");
  EXPECT_EQ(Headers(*fresh), "");
  EXPECT_EQ(asked.size(), 4u);
  // A name with wildcards is not searched for: it does not match part.bin.
  TBSCB::Hold wild = Make(folder.path() + "\\p*.bin");
  EXPECT_EQ(Headers(*wild), "");
}

TEST_F(CallbackTest, CancelledWhenTheRequestBeginsOrTheBindingStarts) {
  TBSCB::Hold object = Make();
  download.Cancel();
  EXPECT_EQ(Headers(*object, E_ABORT), "");
  EXPECT_EQ(binding.aborts, 1);
  TBSCB::Hold other = TBSCB::CreateUnbound(download.MakeInfo("http://h/", ""));
  EXPECT_EQ(other->OnStartBinding(0, &binding), E_FAIL);
  EXPECT_EQ(other->Binding(), nullptr);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, E_ABORT, ""}, {false, E_ABORT, ""}}));
}

// --- OnResponse and the target file -----------------------------------------------------------

TEST_F(CallbackTest, PartialContentAppendsAndProgressIsOffset) {
  std::string file = folder.File("part.bin", std::string(1000, 'a'));
  std::vector<std::pair<ULONG, ULONG>> progress;
  download.OnProgress = [&](TBSCB&, ULONG p, ULONG m, ULONG, LPCWSTR, const std::string&,
                            const std::string&, const std::string&) {
    progress.push_back({p, m});
  };
  TBSCB::Hold object = Make(file);
  Headers(*object);
  EXPECT_EQ(object->OnResponse(206, L"", L"", nullptr), S_OK);
  Deliver(*object, "bbbbb");
  EXPECT_EQ(object->OnProgress(5, 5, BINDSTATUS_ENDDOWNLOADDATA, L""), S_OK);
  EXPECT_EQ(object->OnStopBinding(S_OK, nullptr), S_OK);
  EXPECT_EQ(ReadFileBytes(file), std::string(1000, 'a') + "bbbbb");
  EXPECT_EQ(progress, (std::vector<std::pair<ULONG, ULONG>>{{1005, 1005}}));
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].result, S_OK);
  EXPECT_EQ(positions, std::vector<ULONGLONG>{0});  // the file stream is handed over at 0
  EXPECT_EQ(object->FileStream(), nullptr);         // and closed afterwards
}

TEST_F(CallbackTest, AcceptedRangesDecideBetweenAppendAndRewrite) {
  std::string file = folder.File("part.bin", std::string(1000, 'a'));
  binding.acceptRanges = "bytes";
  {
    TBSCB::Hold object = Make(file);
    Headers(*object);
    EXPECT_EQ(object->OnResponse(200, L"", L"", nullptr), S_OK);
    Deliver(*object, "cc");
    object->OnStopBinding(S_OK, nullptr);
  }
  EXPECT_EQ(ReadFileBytes(file).size(), 1002u);
  EXPECT_FALSE(binding.flagsNotZeroed);
  for (std::string ranges : {"none", "Bytes"}) {  // compared case-sensitively
    binding.acceptRanges = ranges;
    first = true;
    data = FakeStream();
    TBSCB::Hold object = Make(file);
    Headers(*object);
    EXPECT_EQ(object->OnResponse(200, L"", L"", nullptr), S_OK);
    EXPECT_EQ(object->Info().RangeBegin, 0);
    Deliver(*object, "dd");
    object->OnStopBinding(S_OK, nullptr);
    EXPECT_EQ(ReadFileBytes(file), "dd");
  }
}

TEST_F(CallbackTest, RefusedStatusesEndInFailureAndStoreNothing) {
  // 416: an early refusal, then the binding's end; some urlmon versions end a refused
  // response with S_OK, which must not become the last outcome.
  std::string file = folder.File("part.bin", "old");
  TBSCB::Hold object = Make(file);
  Headers(*object);
  EXPECT_EQ(object->OnResponse(416, L"", L"", nullptr), E_ABORT);
  EXPECT_EQ(object->ResponseCode(), 416u);
  EXPECT_EQ(binding.aborts, 1);
  Deliver(*object, "<html>error page</html>");  // the answer's body still arrives
  EXPECT_EQ(object->OnStopBinding(S_OK, nullptr), S_OK);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, E_ABORT, ""}, {false, E_ABORT, ""}}));
  EXPECT_EQ(ReadFileBytes(file), "old");

  completions.clear();
  TBSCB::Hold memory = Make();
  EXPECT_EQ(memory->OnResponse(404, L"", L"", nullptr), E_ABORT);
  Deliver(*memory, "x");
  memory->OnStopBinding(S_OK, nullptr);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, E_ABORT, ""}, {true, E_ABORT, ""}}));

  completions.clear();
  TBSCB::Hold failing = Make(folder.path() + "\\e500.bin");
  EXPECT_EQ(failing->OnResponse(503, L"", L"", nullptr), E_ABORT);
  failing->OnStopBinding(S_OK, nullptr);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, INET_E_DOWNLOAD_FAILURE, ""}}));
  EXPECT_FALSE(platform::FileExists(folder.path() + "\\e500.bin"));
}

TEST_F(CallbackTest, AnswerAskingForCredentials) {
  TBSCB::Hold anonymous = Make();  // nothing to offer: refused like any 4xx
  EXPECT_EQ(anonymous->OnResponse(401, L"", L"", nullptr), E_ABORT);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, E_ABORT, ""}}));
  download.Username = "me";
  TBSCB::Hold object = Make();
  EXPECT_EQ(object->OnResponse(401, L"", L"", nullptr), E_ABORT);  // ends for a retry
  EXPECT_EQ(binding.aborts, 2);
  EXPECT_EQ(completions.size(), 1u);
  Deliver(*object, "<html>401</html>");
  EXPECT_EQ(win32::ReadAll(object->MemoryStream()), "");
  EXPECT_EQ(object->OnResponse(401, L"", L"", nullptr), E_ABORT);  // only one retry
  EXPECT_EQ(completions.size(), 2u);
}

TEST_F(CallbackTest, ContentLengthZeroCompletesFirstThenFails) {
  binding.contentLength = 0;
  TBSCB::Hold object = Make(folder.path() + "\\zero.bin");
  EXPECT_EQ(object->OnResponse(200, L"", L"", nullptr), E_ABORT);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, S_OK, ""}}));
  EXPECT_EQ(binding.aborts, 1);
  object->OnStopBinding(S_OK, nullptr);
  EXPECT_EQ(completions.back(), (Completion{false, E_ABORT, ""}));
  EXPECT_FALSE(binding.flagsNotZeroed);
  binding.contentLength = 12;  // any other length goes on
  TBSCB::Hold other = Make();
  EXPECT_EQ(other->OnResponse(200, L"", L"", nullptr), S_OK);
}

TEST_F(CallbackTest, ResponseHandlerAndCancellation) {
  std::vector<ULONG> seen;
  download.OnResponse = [&](TBSCB&, ULONG code, LPCWSTR, LPCWSTR, std::wstring& extra) -> HRESULT {
    seen.push_back(code);
    extra = L"X-More: 1\r\n";
    return code == 299 ? E_FAIL : S_OK;
  };
  TBSCB::Hold object = Make();
  LPWSTR extra = nullptr;
  EXPECT_EQ(object->OnResponse(200, L"", L"", &extra), S_OK);
  EXPECT_EQ(TakeTaskText(extra), "X-More: 1\r\n");
  EXPECT_EQ(object->OnResponse(299, L"", L"", nullptr), E_FAIL);  // refused by the handler
  EXPECT_EQ(binding.aborts, 1);
  TBSCB::Hold cancelled = Make();
  download.Cancel();
  EXPECT_EQ(cancelled->OnResponse(200, L"", L"", nullptr), E_ABORT);
  EXPECT_EQ(seen, (std::vector<ULONG>{200, 299}));
  EXPECT_EQ(completions, (std::vector<Completion>{{false, E_ABORT, ""}}));
}

TEST_F(CallbackTest, TargetFileThatCannotBeOpenedFailsTheDownload) {
  TBSCB::Hold object = Make(folder.path() + "\\no such folder\\f.bin");
  HRESULT opened = object->OnResponse(200, L"", L"", nullptr);
  EXPECT_EQ(opened, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(binding.aborts, 1);
  Deliver(*object, "data");
  EXPECT_EQ(object->Received(), 0u);
  object->OnStopBinding(S_OK, nullptr);
  EXPECT_EQ(completions, (std::vector<Completion>{{false, opened, ""}}));
}

TEST_F(CallbackTest, DataWithoutAResponseCreatesTheTargetFile) {
  std::string file = folder.File("old.bin", "older content");
  download.Range = {5, 0};
  TBSCB::Hold object = Make(file);  // no BeginningTransaction, no OnResponse (a file: URL)
  Deliver(*object, "new");
  EXPECT_EQ(object->Info().RangeBegin, 0);
  object->OnStopBinding(S_OK, nullptr);
  EXPECT_EQ(ReadFileBytes(file), "new");
}

// --- GetBindInfo ----------------------------------------------------------------------------

class BindInfoTest : public CallbackTest {
 protected:
  BINDINFO Ask(TBSCB& object, DWORD* flags = nullptr, HRESULT expected = S_OK) {
    BINDINFO info{};
    info.cbSize = sizeof info;
    DWORD bindFlags = 0;
    EXPECT_EQ(object.GetBindInfo(&bindFlags, &info), expected);
    if (flags) *flags = bindFlags;
    return info;
  }
  static std::string Body(const BINDINFO& info) {
    return std::string(static_cast<const char*>(info.stgmedData.hGlobal), info.cbstgmedData);
  }
};

TEST_F(BindInfoTest, GetHasNoBodyAndTheSettingsAreHandedOver) {
  download.SetCodepage(TCodePageOption::UTF8);
  download.ExtraInfo = "more";
  download.Security = {true, "DESCRIPTOR"};
  download.CustomVerb = "MOVE";  // not used with Get
  TBSCB::Hold object = Make();
  DWORD flags = 0;
  BINDINFO info = Ask(*object, &flags);
  EXPECT_EQ(flags, 0xB3u);
  EXPECT_EQ(info.cbSize, 84u);
  EXPECT_EQ(info.dwBindVerb, DWORD(BINDVERB_GET));
  EXPECT_EQ(info.dwCodePage, 65001u);
  EXPECT_EQ(info.grfBindInfoF, 0u);
  EXPECT_EQ(info.securityAttributes.nLength, 12u);
  EXPECT_EQ(info.securityAttributes.bInheritHandle, -1);
  EXPECT_EQ(std::string(static_cast<char*>(info.securityAttributes.lpSecurityDescriptor), 10),
            "DESCRIPTOR");
  EXPECT_EQ(Narrow(info.szExtraInfo), "more");
  EXPECT_EQ(info.szCustomVerb, nullptr);
  EXPECT_EQ(info.stgmedData.tymed, DWORD(TYMED_NULL));
  EXPECT_EQ(info.cbstgmedData, 0u);
  EXPECT_EQ(info.stgmedData.pUnkForRelease, static_cast<IBindStatusCallback*>(object.get()));
  EXPECT_EQ(download.RefCount(), 2);
  ::ReleaseBindInfo(&info);  // frees the texts, releases the object
  EXPECT_EQ(download.RefCount(), 1);
}

// A new component's bind flags, then each option set, verb and code page, as urlmon receives
// them, in urlmon's own names.
TEST_F(BindInfoTest, OptionsVerbsAndCodePagesInUrlmonsTerms) {
  using O = TBindInfoOption;
  const std::pair<std::optional<TBindInfoOptions>, DWORD> options[] = {
      {std::nullopt, BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_GETNEWESTVERSION |
                         BINDF_NOWRITECACHE | BINDF_PULLDATA},
      {TBindInfoOptions{O::Asynchronous, O::AsyncStorage, O::OfflineOperation, O::GetNewestVersion,
                        O::NoWriteCache, O::PullData, O::IgnoreSecurityProblem, O::SilentOperation,
                        O::Direct_Read, O::GetFromCache_If_Net_Fail},
       BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_OFFLINEOPERATION | BINDF_GETNEWESTVERSION |
           BINDF_NOWRITECACHE | BINDF_PULLDATA | BINDF_IGNORESECURITYPROBLEM |
           BINDF_SILENTOPERATION | BINDF_DIRECT_READ | BINDF_GETFROMCACHE_IF_NET_FAIL},
      {TBindInfoOptions{O::NoProgressiveRendering, O::NeedFile, O::Resynchronize, O::Hyperlink,
                        O::No_UI, O::Pragma_No_Cache, O::GetClassObject, O::Reserved_1,
                        O::Free_Threaded, O::Forms_Submit, O::FromUrlmon, O::Fwd_Back},
       BINDF_NOPROGRESSIVERENDERING | BINDF_NEEDFILE | BINDF_RESYNCHRONIZE | BINDF_HYPERLINK |
           BINDF_NO_UI | BINDF_PRAGMA_NO_CACHE | BINDF_GETCLASSOBJECT | BINDF_RESERVED_1 |
           BINDF_FREE_THREADED | BINDF_FORMS_SUBMIT | BINDF_FROMURLMON | BINDF_FWD_BACK},
      {TBindInfoOptions{}, 0},
  };
  for (const auto& [set, flags] : options) {
    if (set) download.SetOptions(*set);
    DWORD asked = 0;
    BINDINFO info = Ask(*Make(), &asked);
    EXPECT_EQ(asked, flags) << std::hex << flags;
    ::ReleaseBindInfo(&info);
  }

  download.PutFileName = folder.File("put.bin", "x");
  const std::pair<TBindVerbOption, DWORD> verbs[] = {{TBindVerbOption::Get, BINDVERB_GET},
                                                     {TBindVerbOption::Post, BINDVERB_POST},
                                                     {TBindVerbOption::Put, BINDVERB_PUT},
                                                     {TBindVerbOption::Custom, BINDVERB_CUSTOM}};
  for (const auto& [verb, number] : verbs) {
    download.SetMethod(verb);
    BINDINFO info = Ask(*Make());
    EXPECT_EQ(info.dwBindVerb, number);
    ::ReleaseBindInfo(&info);
  }

  const std::pair<TCodePageOption, DWORD> pages[] = {
      {TCodePageOption::Ansi, CP_ACP},      {TCodePageOption::OEM, CP_OEMCP},
      {TCodePageOption::Mac, CP_MACCP},     {TCodePageOption::ThreadsAnsi, CP_THREAD_ACP},
      {TCodePageOption::Symbol, CP_SYMBOL}, {TCodePageOption::UTF7, CP_UTF7},
      {TCodePageOption::UTF8, CP_UTF8}};
  for (const auto& [page, number] : pages) {
    download.SetCodepage(page);
    BINDINFO info = Ask(*Make());
    EXPECT_EQ(info.dwCodePage, number);
    ::ReleaseBindInfo(&info);
  }
  EXPECT_EQ(download.RefCount(), 1);
}

TEST_F(BindInfoTest, PostAndPutBodies) {
  download.SetMethod(TBindVerbOption::Post);
  download.PostData = "abc";
  TBSCB::Hold post = Make();
  BINDINFO info = Ask(*post);
  EXPECT_EQ(info.dwBindVerb, DWORD(BINDVERB_POST));
  EXPECT_EQ(info.stgmedData.tymed, DWORD(TYMED_HGLOBAL));
  EXPECT_EQ(Body(info), std::string("abc\0", 4));
  EXPECT_EQ(post->PostDataSize(), 4u);
  ::ReleaseBindInfo(&info);
  BINDINFO again = Ask(*post);  // asked again: the same block, still valid
  EXPECT_EQ(Body(again), std::string("abc\0", 4));
  ::ReleaseBindInfo(&again);

  download.SetMethod(TBindVerbOption::Put);
  download.PutFileName = folder.File("body.bin", std::string("PUT\0BODY", 8));
  TBSCB::Hold put = Make();
  info = Ask(*put);
  EXPECT_EQ(info.dwBindVerb, DWORD(BINDVERB_PUT));
  EXPECT_EQ(Body(info), std::string("PUT\0BODY", 8));
  ::ReleaseBindInfo(&info);
  EXPECT_EQ(download.RefCount(), 1);
}

TEST_F(BindInfoTest, MissingPutFileFailsTheBinding) {
  download.SetMethod(TBindVerbOption::Put);
  download.PutFileName = folder.path() + "\\missing.bin";
  TBSCB::Hold object = Make();
  BINDINFO info = Ask(*object, nullptr, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(info.stgmedData.pUnkForRelease, nullptr);  // nothing handed out
  EXPECT_EQ(info.szExtraInfo, nullptr);
  EXPECT_EQ(download.RefCount(), 1);
  EXPECT_EQ(binding.aborts, 1);
  object->OnStopBinding(S_OK, nullptr);
  EXPECT_EQ(completions.back().result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(BindInfoTest, VerbAfterARedirectionAndCustomVerbs) {
  download.SetMethod(TBindVerbOption::Post);
  TBSCB::Hold object = Make();
  object->OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://elsewhere/");
  EXPECT_TRUE(object->Redirected());
  BINDINFO info = Ask(*object);
  EXPECT_EQ(info.dwBindVerb, DWORD(BINDVERB_GET));
  EXPECT_EQ(info.stgmedData.tymed, DWORD(TYMED_NULL));
  EXPECT_EQ(info.cbstgmedData, 1u);  // the body built from the stored verb
  ::ReleaseBindInfo(&info);
  object->OnProgress(0, 0, BINDSTATUS_CONNECTING, L"");
  EXPECT_FALSE(object->Redirected());
  info = Ask(*object);
  EXPECT_EQ(info.dwBindVerb, DWORD(BINDVERB_POST));
  ::ReleaseBindInfo(&info);

  download.SetMethod(TBindVerbOption::Custom);
  download.CustomVerb = "PROPFIND";
  TBSCB::Hold custom = Make();
  info = Ask(*custom);
  EXPECT_EQ(info.dwBindVerb, DWORD(BINDVERB_CUSTOM));
  EXPECT_EQ(Narrow(info.szCustomVerb), "PROPFIND");
  EXPECT_EQ(info.stgmedData.tymed, DWORD(TYMED_HGLOBAL));
  EXPECT_EQ(info.cbstgmedData, 0u);
  ::ReleaseBindInfo(&info);
  download.CustomVerb.clear();
  TBSCB::Hold empty = Make();
  info = Ask(*empty);
  EXPECT_EQ(info.szCustomVerb, nullptr);
  ::ReleaseBindInfo(&info);
}

TEST_F(BindInfoTest, ASmallerStructureIsNotWrittenBeyondItsSize) {
  TBSCB::Hold object = Make();
  struct {
    BINDINFO info;
    char guard[16];
  } block;
  std::memset(&block, 0x5A, sizeof block);
  block.info.cbSize = offsetof(BINDINFO, dwOptions);  // an older, shorter structure
  block.info.szExtraInfo = nullptr;
  block.info.szCustomVerb = nullptr;
  block.info.stgmedData = STGMEDIUM{};
  DWORD flags = 0;
  ASSERT_EQ(object->GetBindInfo(&flags, &block.info), S_OK);
  EXPECT_EQ(block.info.cbSize, offsetof(BINDINFO, dwOptions));
  EXPECT_EQ(block.info.dwBindVerb, DWORD(BINDVERB_GET));
  EXPECT_EQ(block.info.dwCodePage, 0x5A5A5A5Au);  // beyond the caller's size: untouched
  EXPECT_EQ(block.info.securityAttributes.nLength, 0x5A5A5A5Au);
  EXPECT_EQ(block.guard[0], 0x5A);
  EXPECT_EQ(download.RefCount(), 2);
  block.info.stgmedData.pUnkForRelease->Release();
  ::CoTaskMemFree(block.info.szExtraInfo);
  ::CoTaskMemFree(block.info.szCustomVerb);
  EXPECT_EQ(download.RefCount(), 1);
}

// --- Progress, data and the end -----------------------------------------------------------------

TEST(ProgressTexts, LongTimeFormatOfTheSystem) {
  SYSTEMTIME time{};
  time.wYear = 2000;
  time.wMonth = 1;
  time.wDay = 1;
  time.wHour = 1;
  time.wMinute = 2;
  time.wSecond = 3;
  char expected[64];
  ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, expected, sizeof expected);
  EXPECT_EQ(LongTimeText(3.0 + (3723.0 / 86400.0)), expected);  // the day part is dropped
}

TEST_F(CallbackTest, ProgressEventTextsAndOffsets) {
  struct Seen {
    ULONG progress, max, status;
    bool texts;
  };
  std::vector<Seen> seen;
  download.OnProgress = [&](TBSCB&, ULONG p, ULONG m, ULONG status, LPCWSTR, const std::string& e,
                            const std::string& s, const std::string& est) {
    seen.push_back({p, m, status, !e.empty() || !s.empty() || !est.empty()});
  };
  download.Range = {100, 0};
  TBSCB::Hold object = Make();
  object->OnProgress(0, 0, BINDSTATUS_CONNECTING, L"");
  object->OnProgress(10, 50, BINDSTATUS_DOWNLOADINGDATA, L"");  // no data yet: no texts
  Deliver(*object, std::string(10, 'x'));
  ::Sleep(20);
  object->OnProgress(10, 50, BINDSTATUS_DOWNLOADINGDATA, L"");
  object->OnProgress(10, 50, BINDSTATUS_BEGINDOWNLOADDATA, L"");  // texts only for status 5
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].progress, 100u);
  EXPECT_EQ(seen[1].max, 150u);
  EXPECT_FALSE(seen[1].texts);
  EXPECT_TRUE(seen[2].texts);
  EXPECT_FALSE(seen[3].texts);
  EXPECT_NE(object->StartTime(), 0.0);
  download.Cancel();
  EXPECT_EQ(object->OnProgress(10, 50, BINDSTATUS_DOWNLOADINGDATA, L""), S_OK);
  EXPECT_EQ(binding.aborts, 1);
  EXPECT_EQ(seen.size(), 4u);
}

TEST_F(CallbackTest, ReadLoopAndDataHandler) {
  data.piece = 3;
  std::vector<std::string> blocks;
  download.OnData = [&](TBSCB&, std::string& buffer, ULONG& length) {
    blocks.push_back(buffer.substr(0, length));
    if (buffer.compare(0, 3, "bbb") == 0) length = 0;  // this block is not stored
    if (buffer.compare(0, 3, "ccc") == 0) {
      buffer = "REPLACED";
      length = 1000;  // longer than the buffer: at most the buffer is stored
    }
  };
  TBSCB::Hold object = Make();
  Deliver(*object, "aaabbbcccd");
  EXPECT_EQ(object->Received(), 10u);
  EXPECT_EQ(blocks, (StringList{"aaa", "bbb", "ccc", "d", ""}));
  EXPECT_EQ(win32::ReadAll(object->MemoryStream()), "aaaREPLACEDd");
  blocks.clear();
  Deliver(*object, "ee");  // only what is new is asked for
  EXPECT_EQ(blocks, (StringList{"ee", ""}));
  object->OnStopBinding(S_OK, nullptr);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0], (Completion{true, S_OK, "aaaREPLACEDdee"}));
  EXPECT_EQ(positions, std::vector<ULONGLONG>{14});  // the memory stream is left at the end
}

TEST_F(CallbackTest, InactivityTimerAbortsAndIsRestartedByData) {
  download.TimeOut = 400;
  TBSCB::Hold object = Make();
  Headers(*object);
  for (int i = 0; i < 6; ++i) {  // data every 100 ms keeps the download alive
    PumpFor(100);
    Deliver(*object, "x");
  }
  EXPECT_FALSE(object->TimedOut());
  EXPECT_EQ(binding.aborts, 0);
  PumpUntil([&] { return object->TimedOut(); }, 3000);
  EXPECT_TRUE(object->TimedOut());
  EXPECT_EQ(binding.aborts, 1);
  object->OnStopBinding(E_ABORT, nullptr);
  EXPECT_EQ(completions, (std::vector<Completion>{{true, kTimeout, "xxxxxx"}}));

  download.TimeOut = 0;  // no time-out at all
  TBSCB::Hold patient = Make();
  Headers(*patient);
  PumpFor(300);
  EXPECT_FALSE(patient->TimedOut());
}

TEST_F(CallbackTest, StopRemovesTheObjectFromTheList) {
  TBSCB::Hold object = Make();
  const_cast<std::vector<TBSCB::Hold>&>(download.DownloadList()).push_back(object);
  TBSCB* raw = object.get();
  object = TBSCB::Hold();
  raw->AddRef();  // urlmon's reference
  EXPECT_EQ(raw->OnStopBinding(S_OK, nullptr), S_OK);
  EXPECT_TRUE(download.DownloadList().empty());
  EXPECT_TRUE(raw->Stopped());
  EXPECT_EQ(raw->Binding(), nullptr);  // released at the end: no cycle with urlmon
  raw->Release();
}

TEST_F(CallbackTest, AuthenticateWindowAndSecurityProblem) {
  download.Username = "me";
  TBSCB::Hold object = Make();
  HWND window = reinterpret_cast<HWND>(0x1234);
  LPWSTR user = reinterpret_cast<LPWSTR>(1);
  LPWSTR password = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(object->Authenticate(&window, &user, &password), S_OK);
  EXPECT_EQ(TakeTaskText(user), "me");
  EXPECT_EQ(password, nullptr);  // empty: none
  EXPECT_EQ(window, reinterpret_cast<HWND>(0x1234));

  download.OnAuthenticate = [](TBSCB&, HWND& hwnd, std::wstring& u, std::wstring& p) -> HRESULT {
    hwnd = nullptr;
    u = L"handler";
    p = L"secret";
    return S_FALSE;
  };
  EXPECT_EQ(object->Authenticate(&window, &user, &password), S_FALSE);
  EXPECT_EQ(TakeTaskText(user), "handler");
  EXPECT_EQ(TakeTaskText(password), "secret");
  EXPECT_EQ(window, nullptr);

  HWND owner = reinterpret_cast<HWND>(0x77);
  EXPECT_EQ(object->GetWindow(IID_IHttpSecurity, &owner), S_OK);
  EXPECT_EQ(owner, reinterpret_cast<HWND>(0x77));
  EXPECT_EQ(object->OnSecurityProblem(0x800C0010), S_OK);
  download.OnGetWindow = [](TBSCB&, const GUID& reason, HWND& hwnd) -> HRESULT {
    hwnd = IsEqualGUID(reason, IID_IAuthenticate) ? reinterpret_cast<HWND>(0x99) : nullptr;
    return S_FALSE;
  };
  download.OnSecurityProblem = [](TBSCB&, ULONG problem) -> HRESULT {
    return problem == 0x800C0010 ? RPC_E_RETRY : S_FALSE;
  };
  EXPECT_EQ(object->GetWindow(IID_IAuthenticate, &owner), S_FALSE);
  EXPECT_EQ(owner, reinterpret_cast<HWND>(0x99));
  EXPECT_EQ(object->OnSecurityProblem(0x800C0010), RPC_E_RETRY);
}

TEST_F(CallbackTest, HandlerExceptionsDoNotCrossTheInterface) {
  download.OnBeginningTransaction = [](TBSCB&, LPCWSTR, LPCWSTR, ULONG, std::wstring&) -> HRESULT {
    throw std::runtime_error("handler");
  };
  download.OnComplete = [](TBSCB&, IStream*, HRESULT) { throw std::runtime_error("handler"); };
  TBSCB::Hold object = Make();
  const_cast<std::vector<TBSCB::Hold>&>(download.DownloadList()).push_back(object);
  LPWSTR headers = nullptr;
  EXPECT_EQ(object->BeginningTransaction(L"u", L"", 0, &headers), E_FAIL);
  EXPECT_EQ(headers, nullptr);
  EXPECT_EQ(object->OnStopBinding(S_OK, nullptr), S_OK);  // still ends and leaves the list
  EXPECT_TRUE(download.DownloadList().empty());
}

}  // namespace
}  // namespace lorvex
