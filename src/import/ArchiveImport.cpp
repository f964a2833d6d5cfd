#include "import/ArchiveImport.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "archive/Base64.h"
#include "archive/PartHeaders.h"
#include "archive/QuotedPrintable.h"
#include "links/CidReferences.h"
#include "links/CssReferences.h"
#include "links/PageLinks.h"
#include "platform/Charset.h"
#include "platform/Platform.h"
#include "util/Ascii.h"
#include "util/ByteScan.h"
#include "util/FileOperation.h"
#include "util/SafeFileName.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

constexpr const char* kDirectoryCreateFail = "DirectoryCreateFail";
// Used when the host has no text for the key, so that the failure is never reported blank.
constexpr std::string_view kDirectoryCreateFailFallback = "Cannot create the folder %s";
constexpr std::string_view kUnsafeNameMessage =
    "A part was not written: its file name \"%s\" cannot be used safely";
constexpr std::string_view kCaseClashMessage =
    "A part was not written: its file name \"%s\" differs only in letter case from a part "
    "written before it";
constexpr size_t kFileBufferSize = 256 * 1024;

// The name as shown in a message: bytes that could upset a terminal or a message box become
// "?", and a very long name is cut.
std::string PrintableName(std::string_view name) {
  constexpr size_t kShown = 80;
  std::string shown;
  for (char c : name.substr(0, kShown))
    shown += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
  if (name.size() > kShown) shown += "...";
  return shown;
}

// Makes sure the folder exists, creating one level when it does not. On failure the message
// is the host's "DirectoryCreateFail" pattern formatted with the folder's path.
bool EnsureFolder(std::string_view folder, bool workFolderGiven, std::string& message,
                  const TMhtHost& host) {
  // Without a work folder every path would be relative to wherever the host happens to run:
  // nothing is created there.
  if (workFolderGiven &&
      (platform::DirectoryExists(folder) || platform::CreateDirectoryLevel(folder)))
    return true;
  std::string pattern = host.GetHostMessage ? host.GetHostMessage(kDirectoryCreateFail) : "";
  if (pattern.empty()) pattern = kDirectoryCreateFailFallback;
  message = FormatMessagePattern(pattern, folder);
  return false;
}

// True when every line of text already ends in CR LF, so that the text is its own line form
// (NormalizeLineBreaks would return the same bytes).
bool HasCrLfLines(std::string_view text) {
  if (text.empty()) return true;
  if (text.size() < 2 || text[text.size() - 2] != '\r' || text.back() != '\n') return false;
  for (size_t pos = 0;
       (pos = FindEitherByte(text.data(), pos, text.size(), '\r', '\n')) < text.size(); pos += 2)
    if (text[pos] != '\r' || pos + 1 >= text.size() || text[pos + 1] != '\n') return false;
  return true;
}

// Text output: the text's lines, each followed by CR LF.
void WriteTextFile(const std::string& path, std::string_view text) {
  if (HasCrLfLines(text))
    WriteFileBytes(path, text);
  else
    WriteFileBytes(path, NormalizeLineBreaks(text));
}

void DecodeBase64ToFile(std::string_view body, const std::string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) throw FileError("cannot create " + path);
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferSize);
  FileSink sink(file.get(), path);
  // The line breaks in the body are bytes that decoding skips: the raw bytes decode exactly
  // as the body's lines each followed by CR LF.
  Base64DecodeText(body, sink);
  sink.Flush();
}

// Saves the archive's lines undecoded, each followed by CR LF, without creating a folder.
void SaveArchiveAsPage(const TMhtArchive& archive, const std::string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) throw FileError("cannot create " + path);
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferSize);
  FileSink sink(file.get(), path);
  for (TMhtArchive::Pos line = 0; archive.IsLine(line); line = archive.Next(line)) {
    std::string_view text = archive.Line(line);
    sink.Write(text.data(), text.size());
    sink.Write("\r\n", 2);
  }
  sink.Flush();
}

// The body as text, without a copy when its lines already end in CR LF.
template <typename Use>
auto WithBodyText(std::string_view body, Use&& use) {
  if (HasCrLfLines(body)) return use(body);
  return use(std::string_view(MhtBodyText(body)));
}

// A part's body decoded as text, its lines ending in CR LF as the page's do.
std::string PartText(std::string_view body, TMhtEncoding encoding) {
  if (encoding == meQuotedPrintable)
    return WithBodyText(body, [](std::string_view text) { return DecodeQuotedPrintable(text); });
  if (encoding == meRaw) return MhtBodyText(body);
  StringSink sink;
  Base64DecodeText(body, sink);
  return NormalizeLineBreaks(sink.Text());
}

// The name as a page's reference writes it: as a URL, so that "a#1.png" is not read as "a"
// and "100%25.png" not as a decoded name. A name with bytes outside ASCII is written as UTF-8,
// percent-encoded, so that a browser finds the file whatever the page's own charset (on
// Windows the name is in the ANSI code page and is converted first; bytes not valid there
// are encoded as they are).
std::string PageReferenceName(std::string_view name) {
  std::string utf8;
  if (std::any_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) >= 128; }) &&
      platform::FileNameTextToUtf8(name, utf8))
    return EscapeLocalNameForUrl(utf8, false);
  return EscapeLocalNameForUrl(name, false);
}
}  // namespace

std::string FormatMessagePattern(std::string_view pattern, std::string_view argument) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      out.append(argument);
      ++i;
    } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

void WriteMhtPart(bool& pagePending, std::string_view body, TMhtEncoding encoding,
                  std::string_view location, std::string& baseUrl, std::string_view workFolder,
                  std::string_view documentName, std::string& message, const TMhtHost& host,
                  const TMhtWriteOptions& options) {
  message.clear();
  std::string name(options.Name.empty() ? Trim(ExtractUrlFileName(location))
                                        : std::string_view(options.Name));
  if (name.empty() && !pagePending) return;

  const std::string base = AddBackslash(workFolder) + std::string(documentName);
  const std::string pageFile = base + ".htm";
  const std::string partsFolder = base + ".files\\";
  const std::string localFolder = base + ".files/";
  const bool workFolderGiven = !Trim(workFolder).empty();
  const CidNames* cids = options.Cids && !options.Cids->empty() ? options.Cids : nullptr;
  // A sheet in an archive without parts known by cid: addresses is written as it stands.
  const CidNames* sheetCids = !pagePending && options.SheetCids && !options.SheetCids->empty()
                                  ? options.SheetCids
                                  : nullptr;
  auto sheetText = [&](std::string_view text) {
    return RewriteSheetCids(text, *sheetCids, options.SheetCidsNamed);
  };
  auto keepText = [&](std::string_view text) {
    if (options.HtmlText) options.HtmlText->assign(text);
  };

  [&] {
    if (!pagePending && !IsSafeFileIn(partsFolder, name)) {
      // The name comes from the archive: one that could leave the parts folder, name a
      // device or fail to be created is not written, and the rest of the archive goes on.
      message = FormatMessagePattern(kUnsafeNameMessage, PrintableName(name));
      return;
    }
    // The page: its links rewritten against its own folder, written into the work folder.
    std::optional<WrittenFiles> written;
    if (options.WrittenNames) written.emplace(WrittenFiles{*options.WrittenNames, options.LocationAsWritten});
    const WrittenFiles* writtenFiles = written ? &*written : nullptr;
    auto writePage = [&](std::string text) {
      baseUrl = ExtractUrlFolder(location);
      keepText(text);
      text = RewritePageLinks(text, localFolder, baseUrl, cids, PageReferenceName, writtenFiles);
      if (!EnsureFolder(workFolder, workFolderGiven, message, host)) return;
      WriteTextFile(pageFile, text);
      pagePending = false;
    };
    if (!pagePending && options.AsHtml) {
      // A saved frame: its links rewritten against its own location when it has one.
      std::string text = PartText(body, encoding);
      keepText(text);
      const bool ownLocation = !location.empty() && !StartsWithIgnoreCase(Trim(location), "cid:");
      text = RewritePageLinks(text, localFolder, ownLocation ? ExtractUrlFolder(location) : baseUrl,
                              cids, PageReferenceName, writtenFiles);
      if (!EnsureFolder(partsFolder, workFolderGiven, message, host)) return;
      WriteTextFile(partsFolder + name, text);
      return;
    }
    if (encoding == meQuotedPrintable) {
      std::string text = WithBodyText(
          body, [](std::string_view bodyText) { return DecodeQuotedPrintable(bodyText); });
      if (pagePending) {
        writePage(std::move(text));
      } else {
        // Style sheets and scripts too: their references are rewritten against the page.
        keepText(text);
        text = RewritePageLinks(text, localFolder, baseUrl, cids, PageReferenceName, writtenFiles);
        if (sheetCids) text = sheetText(text);
        if (!EnsureFolder(partsFolder, workFolderGiven, message, host)) return;
        WriteTextFile(partsFolder + name, text);
      }
      return;
    }
    if (encoding == meRaw) {
      if (pagePending) {
        writePage(MhtBodyText(body));
      } else {
        if (!EnsureFolder(partsFolder, workFolderGiven, message, host)) return;
        if (sheetCids)
          WriteFileBytes(partsFolder + name, sheetText(MhtRawBody(body)));
        else
          WriteFileBytes(partsFolder + name, MhtRawBody(body));
      }
      return;
    }
    if (pagePending) {
      writePage(PartText(body, encoding));
    } else {
      // Resources are stored byte for byte, decoded straight into the file; a sheet whose
      // references may need pointing elsewhere is decoded in memory first.
      if (!EnsureFolder(partsFolder, workFolderGiven, message, host)) return;
      if (sheetCids) {
        StringSink sink;
        Base64DecodeText(body, sink);
        WriteFileBytes(partsFolder + name, sheetText(sink.Text()));
      } else {
        DecodeBase64ToFile(body, partsFolder + name);
      }
    }
  }();
  if (host.ProcessMessages) host.ProcessMessages();
}

namespace {

constexpr std::string_view kCid = "cid:";

// The parts folder as the page's rewritten references name it: its path with "/" for
// every backslash, so that a cid: reference reads like the page's other local references.
std::string PageFolderText(std::string_view workFolder, std::string_view documentName) {
  std::string folder(Trim(AddBackslash(workFolder) + std::string(documentName) + ".files/"));
  std::replace(folder.begin(), folder.end(), '\\', '/');
  return folder;
}

// A cid: value in a page ends at the first of these (or at a byte below 33).
constexpr std::string_view kCidValueEnd = "\"'<>()&";

// Writes the parts that the walk hands over: the page and the resources named by their
// locations as they come, and the parts known by cid: addresses once something written names
// them.
class ArchiveWriter {
 public:
  ArchiveWriter(std::string_view workFolder, std::string_view documentName, const TMhtHost& host,
                std::vector<std::string>& messages)
      : workFolder_(workFolder),
        documentName_(documentName),
        host_(host),
        messages_(messages),
        partsFolder_(AddBackslash(workFolder) + std::string(documentName) + ".files\\"),
        localFolder_(PageFolderText(workFolder, documentName)) {}

  // Names every part known by a cid: address, from the headers of all the archive's parts
  // (as the walk hands them over, before anything is written).
  void NameParts(const std::vector<TMhtPart>& parts);
  // The walk's handler.
  void Take(const TMhtPart& part, bool& pagePending);

 private:
  // Writes the part as the page or as a resource named given (its location's file name when
  // empty).
  void Write(const TMhtPart& part, bool& pagePending, const std::string& given);
  // The first free name: base itself, else base with "[2]", "[3]" ... before its extension.
  std::string FreeName(const std::string& base, size_t position, std::string_view type);
  bool Referenced(const TMhtPart& part) const;
  // Adds the cid: addresses that an HTML text names.
  void NoteReferences(std::string_view html);
  // Writes the parts set aside that are named by now, until no more are.
  void WriteNamedDeferred();

  const std::string workFolder_, documentName_;
  const TMhtHost& host_;
  std::vector<std::string>& messages_;
  const std::string partsFolder_, localFolder_;
  std::string baseUrl_, message_;
  // The part file names written by location so far, by their lower-case form. Windows holds
  // "A.gif" and "a.gif" as one file: the later of two such parts is not written, so that it
  // cannot replace the earlier one there and the import writes the same files on every
  // system. A part with exactly the same name still replaces the earlier one.
  std::map<std::string, std::string> written_;
  // Every name a part may be written under, lower-case: the names of resource locations and
  // the names given to parts known by cid: addresses.
  std::set<std::string> taken_;
  CidNames cids_;
  // The names given to parts by their headers, by position.
  std::map<size_t, std::string> names_;
  // The same parts' names as a style sheet in the parts folder names them: bare.
  CidNames sheetCids_;
  std::set<std::string> referenced_;
  // Parts known by cid: addresses that nothing written has named yet.
  std::vector<TMhtPart> deferred_;
  // The names of the files written by location, lower-case: a page's reference to any other
  // file keeps its web address.
  std::set<std::string> writtenNames_;
  std::string pageLocation_;
};

void ArchiveWriter::NameParts(const std::vector<TMhtPart>& parts) {
  auto locationName = [](const TMhtPart& part) {
    return IsResourceFile(part.Location) ? std::string(Trim(ExtractUrlFileName(part.Location)))
                                         : std::string();
  };
  for (const TMhtPart& part : parts) {
    std::string name = locationName(part);
    if (name.empty()) continue;
    taken_.insert(AsciiLowerCase(name));
    if (part.Kept && IsSafeFileIn(partsFolder_, name)) writtenNames_.insert(AsciiLowerCase(name));
  }
  for (const TMhtPart& part : parts) {
    const std::vector<std::string> addresses = CidAddresses(part);
    if (addresses.empty() || part.Kind == mkMultipart) continue;
    std::string name = locationName(part);
    if (name.empty()) {
      std::string declared;
      if (!DeclaredFileName(part, platform::ConvertToFileNameText, declared) ||
          !IsSafeFileIn(partsFolder_, declared))
        declared.clear();
      name = FreeName(declared, part.Position, part.ContentType);
      taken_.insert(AsciiLowerCase(name));
      names_[part.Position] = name;
    }
    const std::string reference = PageReferenceName(name);
    for (const std::string& address : addresses) {
      cids_.emplace(address, localFolder_ + reference);
      sheetCids_.emplace(address, reference);
    }
  }
}

std::string ArchiveWriter::FreeName(const std::string& base, size_t position,
                                    std::string_view type) {
  const std::string fallback =
      "part" + std::to_string(position) + std::string(ExtensionForType(type));
  for (const std::string* name : {&base, &fallback}) {
    if (name->empty()) continue;
    if (!taken_.count(AsciiLowerCase(*name))) return *name;
    // taken_ holds fewer names than this bound, so one of the numbers is free.
    for (size_t k = 2; k <= taken_.size() + 2; ++k) {
      std::string tagged = TagFileName(*name, std::to_string(k));
      if (!IsSafeFileIn(partsFolder_, tagged)) break;
      if (!taken_.count(AsciiLowerCase(tagged))) return tagged;
    }
  }
  return fallback;  // only when the parts folder's path leaves no room for a number
}

bool ArchiveWriter::Referenced(const TMhtPart& part) const {
  for (const std::string& address : CidAddresses(part))
    if (referenced_.count(address)) return true;
  return false;
}

void ArchiveWriter::NoteReferences(std::string_view html) {
  // Every "cid:" value in the text, as written and percent-decoded; reading the text rather
  // than the tags may name a part that no tag names, which then is written all the same.
  for (size_t at = 0; (at = html.find_first_of("cC", at)) != std::string_view::npos;) {
    if (!StartsWithIgnoreCase(html.substr(at), kCid)) {
      ++at;
      continue;
    }
    at += kCid.size();
    size_t end = at;
    while (end < html.size() && static_cast<unsigned char>(html[end]) > 32 &&
           kCidValueEnd.find(html[end]) == std::string_view::npos)
      ++end;
    const std::string_view id = html.substr(at, end - at);
    at = end;
    if (id.empty()) continue;
    referenced_.insert(std::string(kCid) + std::string(id));
    referenced_.insert(std::string(kCid) + UrlDecode(id));
  }
}

void ArchiveWriter::Write(const TMhtPart& part, bool& pagePending, const std::string& given) {
  const bool resource = !pagePending;
  const std::string name =
      given.empty() ? std::string(Trim(ExtractUrlFileName(part.Location))) : given;
  if (resource && !name.empty()) {
    auto earlier = written_.find(AsciiLowerCase(name));
    if (earlier != written_.end() && earlier->second != name) {
      messages_.push_back(FormatMessagePattern(kCaseClashMessage, PrintableName(name)));
      return;
    }
  }
  const std::string_view type =
      Trim(std::string_view(part.ContentType).substr(0, part.ContentType.find(';')));
  const bool html = EqualsIgnoreCase(type, "text/html");
  std::string text;
  std::vector<std::string> sheetNamed;
  TMhtWriteOptions options;
  options.Name = name;
  options.Cids = &cids_;
  options.AsHtml = resource && html && !CidAddresses(part).empty();
  options.WrittenNames = &writtenNames_;
  const bool ownLocation = !part.Location.empty() && !StartsWithIgnoreCase(Trim(part.Location), "cid:");
  if (pagePending || (options.AsHtml && ownLocation)) options.LocationAsWritten = part.LocationAsWritten;
  else options.LocationAsWritten = pageLocation_;
  const bool asPage = pagePending;
  // The page and the HTML resources are searched for the parts they name; a style sheet
  // tells which of its references it pointed at parts.
  if (pagePending || html) options.HtmlText = &text;
  if (resource && EqualsIgnoreCase(type, "text/css")) {
    options.SheetCids = &sheetCids_;
    options.SheetCidsNamed = &sheetNamed;
  }
  WriteMhtPart(pagePending, part.Body, part.Encoding, part.Location, baseUrl_, workFolder_,
               documentName_, message_, host_, options);
  if (!message_.empty()) {
    messages_.push_back(message_);
    return;
  }
  if (asPage && !pagePending) pageLocation_ = part.LocationAsWritten;
  if (resource && !name.empty()) written_.emplace(AsciiLowerCase(name), name);
  NoteReferences(text);
  referenced_.insert(sheetNamed.begin(), sheetNamed.end());
}

void ArchiveWriter::Take(const TMhtPart& part, bool& pagePending) {
  if (part.Kept) {
    Write(part, pagePending, "");
  } else if (!CidAddresses(part).empty() && part.Kind != mkMultipart) {
    // Known by a cid: address only: written when something written names it.
    deferred_.push_back(part);
  }
  WriteNamedDeferred();
}

void ArchiveWriter::WriteNamedDeferred() {
  for (bool wrote = true; wrote;) {
    wrote = false;
    std::vector<TMhtPart> now;
    auto rest = std::stable_partition(deferred_.begin(), deferred_.end(),
                                      [&](const TMhtPart& part) { return !Referenced(part); });
    now.assign(std::make_move_iterator(rest), std::make_move_iterator(deferred_.end()));
    deferred_.erase(rest, deferred_.end());
    for (const TMhtPart& part : now) {
      auto named = names_.find(part.Position);
      bool notPage = false;
      Write(part, notPage, named == names_.end() ? "" : named->second);
      wrote = true;
    }
  }
}

}  // namespace

void ParseMhtDocument(std::string_view archiveFileName, std::string_view workFolder,
                      std::string_view documentName, std::vector<std::string>& messages,
                      const TMhtHost& host) {
  // Mail forwarded as an attachment is read as the message it forwards.
  std::unique_ptr<TMhtArchive> loaded = OpenForwardedMessage(TMhtArchive::Load(archiveFileName));
  const TMhtArchive& archive = *loaded;
  // First every part's headers, so that the page's cid: references can be given their names
  // before the page is written; then the parts themselves.
  std::vector<TMhtPart> parts;
  auto list = [&](const TMhtPart& part, bool& pagePending) {
    if (!CidAddresses(part).empty() || IsResourceFile(part.Location)) {
      parts.push_back(part);
      parts.back().Body = {};
      // The page is written as the document, not into the parts folder under its name.
      if (pagePending) parts.back().Kept = false;
    }
    pagePending = false;
  };
  if (!WalkMhtArchive(archive, list, nullptr)) {
    if (Trim(workFolder).empty()) throw FileError("no work folder to save the page in");
    SaveArchiveAsPage(archive, AddBackslash(workFolder) + std::string(documentName) + ".htm");
    return;
  }
  ArchiveWriter writer(workFolder, documentName, host, messages);
  writer.NameParts(parts);
  WalkMhtArchive(
      archive, [&](const TMhtPart& part, bool& pagePending) { writer.Take(part, pagePending); },
      host.ProcessMessages);
}

void ImportMhtFile(std::string_view archiveFileName, std::string_view workFolder,
                   std::string_view documentName, const TMhtHost& host, const TMhtPack& pack,
                   std::vector<std::string>& messages) {
  ParseMhtDocument(archiveFileName, workFolder, documentName, messages, host);
  if (pack) pack(std::string(documentName), std::string(workFolder));
}

}  // namespace lorvex
