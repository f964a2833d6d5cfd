// The exports: what the library offers, and the dispatch of a request to an extension.
#include "plugin/lorvex.h"

#include <array>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/MemoryStream.h"
#include "plugin/ImportArchive.h"
#include "plugin/ImportHtml.h"
#include "plugin/PackingLibrary.h"
#include "text/HTMLtoText.h"
#include "util/FileOperation.h"
#include "util/WebPublicFunc.h"

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
constexpr const char* kVersion = "V1.00";
constexpr std::string_view kBlankPage =
    "<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>\r\n</HEAD>\r\n<BODY>\r\n</BODY>\r\n</HTML>\r\n";

// Indexes are compared unsigned, so negative ones are out of range.
const Extension* ExtensionAt(int32_t index) {
  return uint32_t(index) < kExtensions.size() ? &kExtensions[uint32_t(index)] : nullptr;
}

// Extension 2: the file's text converted to plain text and packed as one stream.
bool ConvertFileToText(const TPlugInRequest& request, IStream* hostStream) {
  std::string html = lorvex::LoadTextFile(Text(request.FileName));
  std::string text = lorvex::ConvertHTMLToText(html, false, false);
  auto source = lorvex::win32::NewMemoryStream(lorvex::NormalizeLineBreaks(text));
  lorvex::PackStream(source.Get(), hostStream, request.PackMode);
  return true;
}

bool RunExtension(const TPlugInRequest& request, int32_t index, IStream* hostStream,
                  bool* isPage) {
  switch (index) {
    case 0:
      return lorvex::ImportHtmlFile(request, hostStream);
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
  bool result = Guarded(false, [&] {
    lorvex::CurrentRequest() = request;
    lorvex::SetApplicationOwner(request.HostHandle);
    if (isPage) *isPage = true;
    return RunExtension(request, index, hostStream ? *hostStream : nullptr, isPage);
  });
  lorvex::SetApplicationOwner(nullptr);
  return result;
}

__attribute__((force_align_arg_pointer)) bool __stdcall loadhtmltostream(
    TPlugInRequest request, const char* html, const char* pageLocation, IStream* hostStream,
    bool quiet) {
  return Guarded(false, [&] {
    lorvex::CurrentRequest() = request;
    return lorvex::ImportHtmlToStream(request, Text(html), Text(pageLocation), hostStream, quiet);
  });
}

__attribute__((force_align_arg_pointer)) void __stdcall loadblankpagetostream(
    TPlugInRequest request, IStream* hostStream) {
  Guarded([&] {
    if (!hostStream) return;
    lorvex::win32::ClearStream(hostStream);
    std::string path = lorvex::AddBackslash(Text(request.TemplateFolder)) + "blank.htm";
    std::string page = lorvex::platform::FileExists(path) ? lorvex::ReadFileBytes(path)
                                                          : std::string(kBlankPage);
    auto source = lorvex::win32::NewMemoryStream(page);
    lorvex::PackStream(source.Get(), hostStream, request.PackMode);
  });
}

}  // extern "C"
