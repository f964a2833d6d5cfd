#include "util/WebPublicFunc.h"

#include <array>

#include "platform/Platform.h"

namespace lorvex {

namespace {

constexpr std::string_view kPathDelimiters = "\\/";
constexpr std::string_view kNameDelimiters = "\\/:";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends the decoded text. `lineFollows` says that a line break comes after the text, so a
// "%" with a single character left sees that break as its second digit and fails.
void AppendUrlDecoded(std::string& out, std::string_view text, bool lineFollows) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    size_t percent = text.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(text.substr(i));
      return;
    }
    out.append(text.substr(i, percent - i));
    i = percent + 1;
    if (i >= n) return;  // a final "%" is dropped
    if (i + 1 < n) {
      int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    } else if (!lineFollows) {
      int single = HexDigitValue(text[i]);
      if (single >= 0) {
        out.push_back(static_cast<char>(single));
        ++i;
        continue;
      }
    }
    out.push_back(text[i]);  // not a number: the "%" goes, the next byte stays
    ++i;
  }
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Position of the dot that starts the extension of a name, or npos.
size_t ExtensionDot(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return dot;
  size_t delimiter = name.find_last_of(kNameDelimiters);
  if (delimiter != std::string_view::npos && delimiter > dot) return std::string_view::npos;
  return dot;
}

template <size_t N>
bool ExtensionIn(std::string_view reference, const std::array<std::string_view, N>& list) {
  std::string ext = AsciiLowerCase(ExtractUrlFileExt(reference));
  for (std::string_view entry : list)
    if (ext == entry) return true;
  return false;
}

constexpr std::array<std::string_view, 23> kResourceExtensions = {
    ".htm", ".html", ".php", ".gif", ".jpg",  ".jpeg", ".jff", ".jtf", ".png", ".bmp", ".ico", ".tif",
    ".tiff", ".wmf", ".ras", ".eps", ".pcx", ".pcd", ".tga", ".swf", ".js", ".jsp", ".css"};
constexpr std::array<std::string_view, 4> kPageExtensions = {".htm", ".html", ".php", ".asp"};
constexpr std::array<std::string_view, 1> kScriptExtensions = {".js"};
constexpr std::array<std::string_view, 1> kAspExtensions = {".asp"};

// Length of ParentUrlFolder(folder), which is always a prefix of folder.
size_t ParentFolderLength(std::string_view folder) {
  if (!folder.empty() && IsPathDelimiter(folder.back())) folder.remove_suffix(1);
  size_t delimiter = folder.find_last_of(kPathDelimiters);
  return delimiter == std::string_view::npos ? 0 : delimiter;
}

void ReplaceChar(std::string& text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
}

}  // namespace

std::string AddBackslash(std::string_view text) {
  if (text.empty() || IsPathDelimiter(text.back())) return std::string(text);
  return std::string(text) + '\\';
}

std::string AddSlash(std::string_view text) {
  if (!text.empty() && IsPathDelimiter(text.back())) return std::string(text);
  return std::string(text) + '/';
}

std::string RemoveTrailingDelimiter(std::string_view text) {
  if (!text.empty() && IsPathDelimiter(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUrlDecoded(out, text, false);
  return out;
}

void UrlDecodeList(StringList& lines) {
  for (std::string& line : lines) {
    if (line.find('%') == std::string::npos) continue;
    std::string decoded;
    decoded.reserve(line.size());
    AppendUrlDecoded(decoded, line, true);
    line = std::move(decoded);
  }
}

bool IsLocalPath(std::string_view reference) {
  std::string_view text = Trim(reference);
  if (text.size() < 7) return true;
  return !(StartsWith(text, "http://") || StartsWith(text, "https://") || StartsWith(text, "ftp://"));
}

bool IsRelativeUrl(std::string_view reference) {
  if (reference.find(':') == std::string_view::npos) return true;
  return StartsWith(reference, "./") || StartsWith(reference, ".\\") || StartsWith(reference, "../") ||
         StartsWith(reference, "..\\") || (!reference.empty() && IsPathDelimiter(reference.front()));
}

std::string ExtractUrlFileName(std::string_view reference) {
  std::string_view text = Trim(reference);
  size_t delimiter = text.find_last_of(kNameDelimiters);
  return std::string(delimiter == std::string_view::npos ? text : text.substr(delimiter + 1));
}

std::string StripUrlQuery(std::string_view reference) {
  return std::string(reference.substr(0, reference.find('?')));
}

std::string ExtractUrlFileExt(std::string_view reference) {
  std::string name = ExtractUrlFileName(reference);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FileNameOnly(std::string_view path) {
  size_t delimiter = path.find_last_of("\\:");
  std::string_view name = delimiter == std::string_view::npos ? path : path.substr(delimiter + 1);
  return std::string(name.substr(0, name.rfind('.')));
}

bool IsResourceFile(std::string_view reference) { return ExtensionIn(reference, kResourceExtensions); }
bool IsPageFile(std::string_view reference) { return ExtensionIn(reference, kPageExtensions); }
bool IsScriptFile(std::string_view reference) { return ExtensionIn(reference, kScriptExtensions); }
bool IsAspFile(std::string_view reference) { return ExtensionIn(reference, kAspExtensions); }

std::string ExtractUrlFolder(std::string_view reference) {
  std::string_view text = Trim(reference);
  if (IsLocalPath(text)) {
    size_t delimiter = text.find_last_of("\\:");
    return delimiter == std::string_view::npos ? std::string() : std::string(text.substr(0, delimiter + 1));
  }
  if (!text.empty() && IsPathDelimiter(text.back())) return std::string(text);
  size_t delimiter = text.find_last_of(kPathDelimiters);
  return delimiter == std::string_view::npos ? std::string() : std::string(text.substr(0, delimiter + 1));
}

std::string ParentUrlFolder(std::string_view folder) {
  return std::string(folder.substr(0, ParentFolderLength(folder)));
}

std::string LastUrlFolderName(std::string_view folder) {
  if (!folder.empty() && IsPathDelimiter(folder.back())) folder.remove_suffix(1);
  size_t delimiter = folder.find_last_of(kPathDelimiters);
  return delimiter == std::string_view::npos ? std::string() : std::string(folder.substr(delimiter + 1));
}

std::string ExtractUrlRoot(std::string_view base) {
  if (base.size() >= 2 && base[1] == ':') return std::string(base.substr(0, 2)) + '\\';
  // Position 10 lies past "https://" and the first character of the host.
  constexpr size_t kHostSearchStart = 9;  // 0-based
  if (base.size() < 7 || base.size() <= kHostSearchStart) return std::string();
  size_t delimiter = base.find_first_of(kPathDelimiters, kHostSearchStart);
  return delimiter == std::string_view::npos ? std::string() : std::string(base.substr(0, delimiter + 1));
}

std::string TagFileName(std::string_view name, std::string_view tag) {
  size_t dot = ExtensionDot(name);
  if (dot == std::string_view::npos) dot = name.size();
  std::string out;
  out.reserve(name.size() + tag.size() + 2);
  out.append(name.substr(0, dot)).append("[").append(tag).append("]").append(name.substr(dot));
  return out;
}

std::string FileUrlToPath(std::string_view reference) {
  if (reference.size() <= 4 || AsciiLowerCase(reference.substr(0, 5)) != "file:") return std::string(reference);
  std::string_view rest = reference.substr(5);
  while (rest.size() > 1 && IsPathDelimiter(rest.front())) rest.remove_prefix(1);
  std::string out(rest);
  ReplaceChar(out, '/', '\\');
  return out;
}

std::string GetLongPath(std::string_view path) { return platform::GetLongPath(path); }

std::string CombineUrl(std::string_view baseFolder, std::string_view reference) {
  if (!IsRelativeUrl(reference)) return std::string(reference);
  // Each round decodes the reference and the base again. A text without "%" decodes to itself,
  // so once both are plain the rounds only move the start of the reference and the end of the
  // base: a long run of "../" costs linear time.
  std::string input(reference), decodedStore, base(baseFolder);
  size_t skip = 0, baseLength = base.size();
  bool inputPlain = input.find('%') == std::string::npos;
  bool basePlain = false;
  for (;;) {
    std::string_view in = std::string_view(input).substr(skip);
    std::string_view decoded = in;
    if (!inputPlain) {
      decodedStore = UrlDecode(in);
      decoded = decodedStore;
    }
    if (decoded.empty()) return base.substr(0, baseLength);
    if (!basePlain) {
      base = UrlDecode(std::string_view(base).substr(0, baseLength));
      baseLength = base.size();
      basePlain = base.find('%') == std::string::npos;
    }
    std::string_view baseNow = std::string_view(base).substr(0, baseLength);
    if (IsPathDelimiter(decoded.front())) return RemoveTrailingDelimiter(ExtractUrlRoot(baseNow)) + std::string(in);
    size_t cut = 0;
    if (StartsWith(decoded, "./") || StartsWith(decoded, ".\\")) {
      cut = 2;
    } else if (StartsWith(decoded, "../") || StartsWith(decoded, "..\\")) {
      cut = 3;
      baseLength = ParentFolderLength(baseNow);
    } else {
      return AddBackslash(baseNow) + std::string(decoded);
    }
    if (inputPlain) {
      skip += cut;
    } else {
      input = decodedStore.substr(cut);
      skip = 0;
      inputPlain = input.find('%') == std::string::npos;
    }
  }
}

std::string ResolveUrl(std::string_view base, std::string_view reference) {
  std::string page = UrlDecode(FileUrlToPath(Trim(base)));
  std::string ref(Trim(UrlDecode(FileUrlToPath(Trim(reference)))));
  if (ref.empty()) return std::string();
  std::string folder = ExtractUrlFolder(page);
  std::string combined = IsRelativeUrl(ref) ? CombineUrl(folder, ref) : ref;
  std::string result(Trim(combined));
  if (result.size() < 2) return std::string();
  if (result[1] == ':')
    ReplaceChar(result, '/', '\\');
  else
    ReplaceChar(result, '\\', '/');
  return result;
}

}  // namespace lorvex
