// The exports: what the library offers, and the dispatch of a request to an extension.
#include "plugin/lorvex.h"

#include <objbase.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

#include "lorvex_version.h"
#include "platform/Platform.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/MemoryStream.h"
#include "plugin/ImportArchive.h"
#include "plugin/ImportHtml.h"
#include "plugin/PackingLibrary.h"
#include "text/HTMLtoText.h"
#include "util/FileOperation.h"
#include "util/UrlPath.h"

using lorvex::Text;
using lorvex::TPlugInRequest;
using lorvex::win32::Guarded;

namespace {

struct Extension {
  const char* name;  // also the description
  const char* formats;
};

constexpr std::array<Extension, 3> kExtensions{{
    {"Import HTML Files", "HTML Files(*.htm;*.html)|*.htm;*.html"},
    {"Import MHT,EML Files", "Web archive(*.mht;*.eml)|*.mht;*.eml"},
    {"Convert HTML to Text", "HTML -> Text(*.htm;*.html)|*.htm;*.html"},
}};
constexpr const char* kAuthor = "lorvex developers";
constexpr const char* kVersion = LORVEX_VERSION_TEXT;  // "V1.00" for version 1.0
constexpr std::string_view kBlankPage =
    "<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>\r\n</HEAD>\r\n<BODY>\r\n</BODY>\r\n</HTML>\r\n";

// The host may call from a thread of its own on which COM was never initialised (loading the
// library initialises the loading thread only); the downloader and the dialogs need it. Each
// call initialises it for its own duration and leaves the thread's COM state as it found it.
class ComForThisCall {
 public:
  ComForThisCall() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}
  ~ComForThisCall() {
    if (initialised_) ::CoUninitialize();
  }
  ComForThisCall(const ComForThisCall&) = delete;
  ComForThisCall& operator=(const ComForThisCall&) = delete;

 private:
  bool initialised_;  // also when COM was already there: every success needs its undoing
};

// Indexes are compared unsigned, so negative ones are out of range.
const Extension* ExtensionAt(int32_t index) {
  return uint32_t(index) < kExtensions.size() ? &kExtensions[uint32_t(index)] : nullptr;
}

// The text's lines, each followed by CR LF, in a new memory stream positioned at 0. The
// lines are written piece by piece into a stream sized for them up front, so that a large
// text is not held a second time as a string of its own, nor copied as the stream grows.
lorvex::win32::ComPtr<IStream> LinesStream(std::string_view text) {
  constexpr size_t kPiece = 1 << 20;
  lorvex::win32::ComPtr<IStream> stream = lorvex::win32::NewMemoryStream();
  ULARGE_INTEGER size;
  size.QuadPart = text.size() + text.size() / 16 + 2;  // the room LoadTextFile allows too
  // Only a reservation: a stream that cannot grow ahead still grows as it is written.
  LORVEX_TRACE_IF_FAILED("LinesStream", stream->SetSize(size));
  std::string piece;
  lorvex::LineBreakNormalizer normalizer(piece);
  for (size_t at = 0; at < text.size(); at += kPiece) {
    normalizer.Append(text.substr(at, kPiece));
    lorvex::win32::WriteAll(stream.Get(), piece);
    piece.clear();
  }
  normalizer.Finish();
  lorvex::win32::WriteAll(stream.Get(), piece);
  LARGE_INTEGER zero{};
  ULARGE_INTEGER written;
  LORVEX_CHECK_HR(stream->Seek(zero, STREAM_SEEK_CUR, &written));
  LORVEX_CHECK_HR(stream->SetSize(written));
  LORVEX_CHECK_HR(stream->Seek(zero, STREAM_SEEK_SET, nullptr));
  return stream;
}

// Extension 2: the file's text converted to plain text and packed as one stream. The page is
// freed once converted, so that a large file is held at most once beside its text.
bool ConvertFileToText(const TPlugInRequest& request, IStream* hostStream) {
  std::string text;
  {
    const std::string html = lorvex::LoadTextFile(Text(request.FileName));
    text = lorvex::ConvertHTMLToText(html, false, false);
  }
  lorvex::win32::ComPtr<IStream> source = LinesStream(text);
  std::string().swap(text);
  lorvex::PackStream(source.Get(), hostStream, request.PackMode);
  return true;
}

bool RunExtension(const TPlugInRequest& request, int32_t index, IStream* hostStream, bool* isPage) {
  switch (index) {
    case 0:
      return hostStream && lorvex::ImportHtmlFile(request, hostStream);
    case 1:
      return hostStream && lorvex::ImportArchive(request, hostStream);
    case 2:
      if (isPage) *isPage = false;
      return hostStream && ConvertFileToText(request, hostStream);
    default:
      return false;
  }
}

}  // namespace

extern "C" {

int32_t __stdcall getcount() { return int32_t(kExtensions.size()); }

int32_t __stdcall gettype(int32_t) { return 1; }

const char* __stdcall getname(int32_t index) {
  const Extension* extension = ExtensionAt(index);
  return extension ? extension->name : nullptr;
}

const char* __stdcall getauthor(int32_t index) { return ExtensionAt(index) ? kAuthor : nullptr; }

const char* __stdcall getdescription(int32_t index) {
  const Extension* extension = ExtensionAt(index);
  return extension ? extension->name : "";
}

const char* __stdcall getversion(int32_t index) { return ExtensionAt(index) ? kVersion : ""; }

const char* __stdcall getsupportedformats(int32_t index) {
  const Extension* extension = ExtensionAt(index);
  return extension ? extension->formats : "";
}

__attribute__((force_align_arg_pointer)) bool __stdcall initalize(TPlugInRequest request,
                                                                  int32_t index,
                                                                  IStream** hostStream,
                                                                  bool* isPage) {
  ComForThisCall com;
  bool result = Guarded("initalize", false, [&] {
    lorvex::CurrentRequest() = request;
    lorvex::SetApplicationOwner(request.HostHandle);
    if (isPage) *isPage = true;
    return RunExtension(request, index, hostStream ? *hostStream : nullptr, isPage);
  });
  lorvex::SetApplicationOwner(nullptr);
  return result;
}

__attribute__((force_align_arg_pointer)) bool __stdcall loadhtmltostream(TPlugInRequest request,
                                                                         const char* html,
                                                                         const char* pageLocation,
                                                                         IStream* hostStream,
                                                                         bool quiet) {
  ComForThisCall com;
  return Guarded("loadhtmltostream", false, [&] {
    lorvex::CurrentRequest() = request;
    // Without a stream nothing could reach the host: nothing is fetched or written either.
    return hostStream &&
           lorvex::ImportHtmlToStream(request, Text(html), Text(pageLocation), hostStream, quiet);
  });
}

__attribute__((force_align_arg_pointer)) void __stdcall loadblankpagetostream(
    TPlugInRequest request, IStream* hostStream) {
  ComForThisCall com;
  Guarded("loadblankpagetostream", [&] {
    if (!hostStream) return;
    lorvex::win32::ClearStream(hostStream);
    std::string path = lorvex::AddBackslash(Text(request.TemplateFolder)) + "blank.htm";
    std::string page =
        lorvex::platform::FileExists(path) ? lorvex::ReadFileBytes(path) : std::string(kBlankPage);
    auto source = lorvex::win32::NewMemoryStream(page);
    lorvex::PackStream(source.Get(), hostStream, request.PackMode);
  });
}

}  // extern "C"
