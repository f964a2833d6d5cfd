#include "import/ArchiveImport.h"

#include <cstdio>
#include <map>

#include "archive/Base64.h"
#include "archive/QuotedPrintable.h"
#include "links/PageLinks.h"
#include "platform/Platform.h"
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

// A resource stored as it stands: the archive's bytes between the empty line that ends its
// headers and the line break before the next delimiter line, so that lone CR and LF bytes in
// binary data survive.
std::string_view RawResourceBytes(std::string_view body) {
  if (!body.empty() && (body[0] == '\r' || body[0] == '\n'))
    body.remove_prefix(body.size() > 1 && body[0] == '\r' && body[1] == '\n' ? 2 : 1);
  if (body.size() >= 2 && body.substr(body.size() - 2) == "\r\n")
    body.remove_suffix(2);
  else if (!body.empty() && (body.back() == '\r' || body.back() == '\n'))
    body.remove_suffix(1);
  return body;
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
                  std::string_view documentName, std::string& message, const TMhtHost& host) {
  message.clear();
  std::string name(Trim(ExtractUrlFileName(location)));
  if (name.empty() && !pagePending) return;

  const std::string base = AddBackslash(workFolder) + std::string(documentName);
  const std::string pageFile = base + ".htm";
  const std::string partsFolder = base + ".files\\";
  const std::string localFolder = base + ".files/";
  const bool workFolderGiven = !Trim(workFolder).empty();

  [&] {
    if (!pagePending && !IsSafeFileIn(partsFolder, name)) {
      // The name comes from the archive: one that could leave the parts folder, name a
      // device or fail to be created is not written, and the rest of the archive goes on.
      message = FormatMessagePattern(kUnsafeNameMessage, PrintableName(name));
      return;
    }
    // The page: its links rewritten against its own folder, written into the work folder.
    auto writePage = [&](std::string text) {
      baseUrl = ExtractUrlFolder(location);
      text = RewritePageLinks(text, localFolder, baseUrl);
      if (!EnsureFolder(workFolder, workFolderGiven, message, host)) return;
      WriteTextFile(pageFile, text);
      pagePending = false;
    };
    if (encoding == meQuotedPrintable) {
      std::string text = WithBodyText(
          body, [](std::string_view bodyText) { return DecodeQuotedPrintable(bodyText); });
      if (pagePending) {
        writePage(std::move(text));
      } else {
        // Style sheets and scripts too: their references are rewritten against the page.
        text = RewritePageLinks(text, localFolder, baseUrl);
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
        WriteFileBytes(partsFolder + name, RawResourceBytes(body));
      }
      return;
    }
    if (pagePending) {
      std::string text;
      {
        StringSink sink;
        Base64DecodeText(body, sink);
        text = NormalizeLineBreaks(sink.Text());
      }
      writePage(std::move(text));
    } else {
      // Resources are stored byte for byte, decoded straight into the file.
      if (!EnsureFolder(partsFolder, workFolderGiven, message, host)) return;
      DecodeBase64ToFile(body, partsFolder + name);
    }
  }();
  if (host.ProcessMessages) host.ProcessMessages();
}

void ParseMhtDocument(std::string_view archiveFileName, std::string_view workFolder,
                      std::string_view documentName, std::vector<std::string>& messages,
                      const TMhtHost& host) {
  std::unique_ptr<TMhtArchive> loaded = TMhtArchive::Load(archiveFileName);
  const TMhtArchive& archive = *loaded;
  std::string baseUrl;
  std::string message;
  // The part file names written so far, by their lower-case form. Windows holds "A.gif" and
  // "a.gif" as one file: the later of two such parts is not written, so that it cannot
  // replace the earlier one there and the import writes the same files on every system.
  // A part with exactly the same name still replaces the earlier one.
  std::map<std::string, std::string> written;
  auto write = [&](const TMhtPart& part, bool& pagePending) {
    if (!part.Kept) return;  // handed over for its headers only
    const bool resource = !pagePending;
    std::string name(Trim(ExtractUrlFileName(part.Location)));
    if (resource && !name.empty()) {
      auto earlier = written.find(AsciiLowerCase(name));
      if (earlier != written.end() && earlier->second != name) {
        messages.push_back(FormatMessagePattern(kCaseClashMessage, PrintableName(name)));
        return;
      }
    }
    WriteMhtPart(pagePending, part.Body, part.Encoding, part.Location, baseUrl, workFolder,
                 documentName, message, host);
    if (!message.empty()) {
      messages.push_back(message);
    } else if (resource && !name.empty()) {
      written.emplace(AsciiLowerCase(name), std::move(name));
    }
  };
  if (!WalkMhtArchive(archive, write, host.ProcessMessages)) {
    if (Trim(workFolder).empty()) throw FileError("no work folder to save the page in");
    SaveArchiveAsPage(archive, AddBackslash(workFolder) + std::string(documentName) + ".htm");
  }
}

void ImportMhtFile(std::string_view archiveFileName, std::string_view workFolder,
                   std::string_view documentName, const TMhtHost& host, const TMhtPack& pack,
                   std::vector<std::string>& messages) {
  ParseMhtDocument(archiveFileName, workFolder, documentName, messages, host);
  if (pack) pack(std::string(documentName), std::string(workFolder));
}

}  // namespace lorvex
