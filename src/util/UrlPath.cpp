#include "util/UrlPath.h"

#include <array>

#include "platform/Platform.h"
#include "util/Ascii.h"

namespace lorvex {

namespace {

constexpr bool IsNameDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }
constexpr bool IsBackslashOrColon(char c) { return c == '\\' || c == ':'; }

// Byte-class searches (the standard set searches call memchr once per byte).
template <typename Predicate>
size_t FindLast(std::string_view text, Predicate predicate) {
  for (size_t i = text.size(); i-- > 0;)
    if (predicate(text[i])) return i;
  return std::string_view::npos;
}
template <typename Predicate>
size_t FindFirst(std::string_view text, Predicate predicate, size_t from = 0) {
  for (size_t i = from; i < text.size(); ++i)
    if (predicate(text[i])) return i;
  return std::string_view::npos;
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
      int high = AsciiHexValue(text[i]), low = AsciiHexValue(text[i + 1]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    } else if (!lineFollows) {
      int single = AsciiHexValue(text[i]);
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
  size_t delimiter = FindLast(name, IsNameDelimiter);
  if (delimiter != std::string_view::npos && delimiter > dot) return std::string_view::npos;
  return dot;
}

// The views behind ExtractUrlFileName and ExtractUrlFileExt.
std::string_view FileNameView(std::string_view reference) {
  std::string_view text = Trim(reference);
  size_t delimiter = FindLast(text, IsNameDelimiter);
  return delimiter == std::string_view::npos ? text : text.substr(delimiter + 1);
}
std::string_view FileExtView(std::string_view reference) {
  std::string_view name = FileNameView(reference);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

template <size_t N>
bool ExtensionIn(std::string_view reference, const std::array<std::string_view, N>& list) {
  std::string_view ext = FileExtView(reference);
  for (std::string_view entry : list)
    if (EqualsIgnoreCase(ext, entry)) return true;  // the entries are lower case
  return false;
}

constexpr std::array<std::string_view, 23> kResourceExtensions = {
    ".htm", ".html", ".php", ".gif", ".jpg",  ".jpeg", ".jff", ".jtf",
    ".png", ".bmp",  ".ico", ".tif", ".tiff", ".wmf",  ".ras", ".eps",
    ".pcx", ".pcd",  ".tga", ".swf", ".js",   ".jsp",  ".css"};
constexpr std::array<std::string_view, 20> kCompletePageExtensions = {
    ".svg", ".webp", ".avif", ".ico", ".bmp", ".woff", ".woff2", ".ttf", ".otf",  ".eot",
    ".mp4", ".webm", ".ogg",  ".ogv", ".mp3", ".m4a",  ".wav",   ".vtt", ".json", ".map"};
constexpr std::array<std::string_view, 4> kPageExtensions = {".htm", ".html", ".php", ".asp"};
constexpr std::array<std::string_view, 1> kScriptExtensions = {".js"};
constexpr std::array<std::string_view, 1> kAspExtensions = {".asp"};

// Length of ParentUrlFolder(folder), which is always a prefix of folder.
size_t ParentFolderLength(std::string_view folder) {
  if (!folder.empty() && IsPathDelimiter(folder.back())) folder.remove_suffix(1);
  size_t delimiter = FindLast(folder, IsPathDelimiter);
  return delimiter == std::string_view::npos ? 0 : delimiter;
}

// The length of a web URL's root, "http://host/" with its delimiter; npos for a text that is
// not a web URL or names no path.
size_t WebRootLength(std::string_view url) {
  if (!HasWebScheme(url)) return std::string_view::npos;
  const size_t colon = url.find(':');
  if (url.substr(colon + 1, 2) != "//") return std::string_view::npos;
  const size_t delimiter = FindFirst(url, IsPathDelimiter, colon + 3);
  return delimiter == std::string_view::npos ? delimiter : delimiter + 1;
}

// Defined with JoinWebUrl below.
void AppendWithoutDotSegments(std::string& out, std::string_view path);

// The "." and ".." segments of the path of the web URL that starts at out[mark], resolved as
// a browser resolves them; a ".." above the root stays at the root.
void ResolveDotSegments(std::string& out, size_t mark) {
  const size_t root = WebRootLength(std::string_view(out).substr(mark));
  if (root == std::string_view::npos) return;
  const size_t pathStart = mark + root - 1;  // the root's "/"
  const size_t pathEnd = std::min(out.find_first_of("?#", pathStart), out.size());
  const std::string_view path = std::string_view(out).substr(pathStart, pathEnd - pathStart);
  if (path.find("/.") == std::string_view::npos) return;
  std::string resolved = out.substr(0, pathStart);
  AppendWithoutDotSegments(resolved, path);
  resolved.append(out, pathEnd, std::string::npos);
  out = std::move(resolved);
}

void ReplaceChar(std::string& text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
}

// CombineUrl's common case: a relative reference that is a plain name or path below the
// folder, with nothing to decode in either text. It needs no decoding rounds: the result is
// the folder, a "\" when it ends in no delimiter, and the reference.
bool IsPlainBelowFolder(std::string_view baseFolder, std::string_view reference) {
  return !reference.empty() && reference.front() != '.' && !IsPathDelimiter(reference.front()) &&
         reference.find('%') == std::string_view::npos &&
         baseFolder.find('%') == std::string_view::npos;
}
void AppendPlainBelowFolder(std::string& out, std::string_view baseFolder,
                            std::string_view reference) {
  out.append(baseFolder);
  if (!baseFolder.empty() && !IsPathDelimiter(baseFolder.back())) out.push_back('\\');
  out.append(reference);
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
  // Shorter than the shortest web prefix: local, "ftp://" with nothing after it included.
  constexpr size_t kShortestWebPrefix = std::string_view("http://").size();
  std::string_view text = Trim(reference);
  if (text.size() < kShortestWebPrefix) return true;
  return !(StartsWith(text, "http://") || StartsWith(text, "https://") ||
           StartsWith(text, "ftp://"));
}

bool IsWebUrl(std::string_view text) {
  return StartsWithIgnoreCase(text, "http://") || StartsWithIgnoreCase(text, "https://");
}

std::string UrlScheme(std::string_view url) {
  if (url.empty() || !IsAsciiAlpha(url.front())) return std::string();
  size_t colon = 1;
  while (colon < url.size() &&
         (IsAsciiAlnum(url[colon]) || url[colon] == '+' || url[colon] == '-' || url[colon] == '.'))
    ++colon;
  if (colon < 2 || colon >= url.size() || url[colon] != ':') return std::string();
  return AsciiLowerCase(url.substr(0, colon));
}

bool HasWebScheme(std::string_view url) {
  const std::string scheme = UrlScheme(url);
  return scheme == "http" || scheme == "https" || scheme == "ftp";
}

bool IsSchemeOfNoFile(std::string_view scheme) {
  for (std::string_view none : {"data", "cid", "javascript", "mailto", "about", "blob"})
    if (scheme == none) return true;
  return false;
}

bool IsSchemeRelative(std::string_view reference) {
  return reference.size() > 2 && reference[0] == '/' && reference[1] == '/';
}

bool IsRelativeUrl(std::string_view reference) {
  if (reference.find(':') == std::string_view::npos) return true;
  return StartsWith(reference, "./") || StartsWith(reference, ".\\") ||
         StartsWith(reference, "../") || StartsWith(reference, "..\\") ||
         (!reference.empty() && IsPathDelimiter(reference.front()));
}

std::string ExtractUrlFileName(std::string_view reference) {
  return std::string(FileNameView(reference));
}

std::string StripUrlQuery(std::string_view reference) {
  return std::string(reference.substr(0, reference.find('?')));
}

std::string ExtractUrlFileExt(std::string_view reference) {
  return std::string(FileExtView(reference));
}

std::string FileNameOnly(std::string_view path) {
  size_t delimiter = FindLast(path, IsBackslashOrColon);
  std::string_view name = delimiter == std::string_view::npos ? path : path.substr(delimiter + 1);
  return std::string(name.substr(0, name.rfind('.')));
}

bool IsResourceFile(std::string_view reference) {
  return ExtensionIn(reference, kResourceExtensions);
}
bool IsPageFile(std::string_view reference) { return ExtensionIn(reference, kPageExtensions); }
bool IsScriptFile(std::string_view reference) { return ExtensionIn(reference, kScriptExtensions); }
bool IsAspFile(std::string_view reference) { return ExtensionIn(reference, kAspExtensions); }

std::string_view WithoutQueryOrFragment(std::string_view reference) {
  return reference.substr(0, std::min(reference.find_first_of("?#"), reference.size()));
}
bool IsCompletePageResourceFile(std::string_view reference) {
  std::string_view path = WithoutQueryOrFragment(reference);
  return ExtensionIn(path, kResourceExtensions) || ExtensionIn(path, kCompletePageExtensions);
}
bool IsCompletePageFile(std::string_view reference) {
  return ExtensionIn(WithoutQueryOrFragment(reference), kPageExtensions);
}
bool IsCompletePageScriptFile(std::string_view reference) {
  return ExtensionIn(WithoutQueryOrFragment(reference), kScriptExtensions);
}

std::string ExtractUrlFolder(std::string_view reference) {
  std::string_view text = Trim(reference);
  if (IsLocalPath(text)) {
    size_t delimiter = FindLast(text, IsBackslashOrColon);
    return delimiter == std::string_view::npos ? std::string()
                                               : std::string(text.substr(0, delimiter + 1));
  }
  if (!text.empty() && IsPathDelimiter(text.back())) return std::string(text);
  size_t delimiter = FindLast(text, IsPathDelimiter);
  return delimiter == std::string_view::npos ? std::string()
                                             : std::string(text.substr(0, delimiter + 1));
}

std::string ParentUrlFolder(std::string_view folder) {
  return std::string(folder.substr(0, ParentFolderLength(folder)));
}

std::string LastUrlFolderName(std::string_view folder) {
  if (!folder.empty() && IsPathDelimiter(folder.back())) folder.remove_suffix(1);
  size_t delimiter = FindLast(folder, IsPathDelimiter);
  return delimiter == std::string_view::npos ? std::string()
                                             : std::string(folder.substr(delimiter + 1));
}

std::string ExtractUrlRoot(std::string_view base) {
  if (base.size() >= 2 && base[1] == ':') return std::string(base.substr(0, 2)) + '\\';
  // The first delimiter is looked for from here on (position 10 counted from 1): past
  // "https://" and the first character of the host, so the "//" after a scheme never counts.
  // Every https host and every http host of two or more characters ends here or later; the
  // host of "http://h/a/b" is passed over, and its root runs to the next delimiter
  // ("http://h/a/"). A text of at most this many characters has no root.
  constexpr size_t kHostSearchStart = std::string_view("https://").size() + 1;
  if (base.size() <= kHostSearchStart) return std::string();
  size_t delimiter = FindFirst(base, IsPathDelimiter, kHostSearchStart);
  return delimiter == std::string_view::npos ? std::string()
                                             : std::string(base.substr(0, delimiter + 1));
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
  if (reference.size() <= 4 || AsciiLowerCase(reference.substr(0, 5)) != "file:")
    return std::string(reference);
  std::string_view rest = reference.substr(5);
  while (rest.size() > 1 && IsPathDelimiter(rest.front())) rest.remove_prefix(1);
  std::string out(rest);
  ReplaceChar(out, '/', '\\');
  return out;
}

std::string GetLongPath(std::string_view path) { return platform::GetLongPath(path); }

std::string CombineUrl(std::string_view baseFolder, std::string_view reference) {
  if (!IsRelativeUrl(reference)) return std::string(reference);
  if (IsPlainBelowFolder(baseFolder, reference)) {
    std::string out;
    out.reserve(baseFolder.size() + reference.size() + 1);
    AppendPlainBelowFolder(out, baseFolder, reference);
    return out;
  }
  // Each round decodes the reference and the base again. A text without "%" decodes to itself,
  // so once both are plain the rounds only move the start of the reference and the end of the
  // base: a long run of "../" costs linear time. A text can keep a "%" through many rounds
  // only when it is encoded over and over ("%252525..."); after kMaxDecodingRounds rounds the
  // texts are taken as they are, so that such a reference costs linear time too.
  constexpr int kMaxDecodingRounds = 32;
  int decodingRounds = 0;
  std::string input(reference), decodedStore, base(baseFolder);
  size_t skip = 0, baseLength = base.size();
  bool inputPlain = input.find('%') == std::string::npos;
  bool basePlain = false;
  for (;;) {
    if (!inputPlain || !basePlain) {
      if (decodingRounds == kMaxDecodingRounds) inputPlain = basePlain = true;
      ++decodingRounds;
    }
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
    if (IsPathDelimiter(decoded.front()))
      return RemoveTrailingDelimiter(ExtractUrlRoot(baseNow)) + std::string(in);
    size_t cut = 0;
    if (StartsWith(decoded, "./") || StartsWith(decoded, ".\\")) {
      cut = 2;
    } else if (StartsWith(decoded, "../") || StartsWith(decoded, "..\\")) {
      cut = 3;
      // On the web a "../" above the root stays at the root, as in a browser.
      const size_t root = WebRootLength(baseNow);
      baseLength = ParentFolderLength(baseNow);
      if (root != std::string_view::npos && baseLength < root) baseLength = root;
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

std::string ResolveBaseFolder(std::string_view base) {
  return ExtractUrlFolder(UrlDecode(FileUrlToPath(Trim(base))));
}

void AppendResolvedUrl(std::string& out, std::string_view baseFolder, std::string_view reference) {
  // Copies are made only where a step changes the text.
  std::string_view ref = Trim(reference);
  std::string asPath, decoded;
  if (ref.size() > 4 && StartsWithIgnoreCase(ref, "file:")) ref = asPath = FileUrlToPath(ref);
  if (ref.find('%') != std::string_view::npos) ref = decoded = UrlDecode(ref);
  ref = Trim(ref);
  if (ref.empty()) return;
  const size_t mark = out.size();
  if (!IsRelativeUrl(ref)) {
    out.append(ref);
  } else if (IsSchemeRelative(ref) && IsWebUrl(baseFolder)) {
    // "//host/path" names another host: it takes the base's scheme and nothing else.
    out.append(baseFolder.substr(0, baseFolder.find(':') + 1)).append(ref);
  } else if (IsPlainBelowFolder(baseFolder, ref)) {
    AppendPlainBelowFolder(out, baseFolder, ref);  // CombineUrl's result, without a copy
  } else {
    out.append(CombineUrl(baseFolder, ref));
  }
  std::string_view appended = std::string_view(out).substr(mark);
  std::string_view trimmed = Trim(appended);
  if (trimmed.size() < 2) {
    out.resize(mark);
    return;
  }
  if (trimmed.size() != appended.size()) {
    const size_t lead = static_cast<size_t>(trimmed.data() - appended.data()),
                 length = trimmed.size();
    out.erase(mark, lead);
    out.resize(mark + length);
  }
  const bool drivePath = out[mark + 1] == ':';
  for (size_t i = mark; i < out.size(); ++i) {
    if (drivePath && out[i] == '/') out[i] = '\\';
    if (!drivePath && out[i] == '\\') out[i] = '/';
  }
  if (!drivePath) ResolveDotSegments(out, mark);
}

std::string ResolveUrlInFolder(std::string_view baseFolder, std::string_view reference) {
  std::string out;
  AppendResolvedUrl(out, baseFolder, reference);
  return out;
}

std::string ResolveUrl(std::string_view base, std::string_view reference) {
  return ResolveUrlInFolder(ResolveBaseFolder(base), reference);
}

namespace {

// Appends a path with its "." and ".." segments resolved, as a browser resolves them: a ".."
// above the root stays at the root.
void AppendWithoutDotSegments(std::string& out, std::string_view path) {
  const size_t root = out.size();
  size_t i = 0;
  while (i < path.size()) {
    size_t slash = path.find('/', i);
    const bool last = slash == std::string_view::npos;
    std::string_view segment = path.substr(i, last ? std::string_view::npos : slash - i);
    if (segment == "." || segment == "..") {
      if (segment == ".." && out.size() > root + 1) {
        out.pop_back();  // the "/" that ends the folder
        out.resize(std::max(root + 1, out.rfind('/') + 1));
      }
    } else {
      out.append(segment);
      if (!last) out.push_back('/');
    }
    if (last) break;
    i = slash + 1;
  }
}

// A byte of the base that cannot stand in an attribute value or a URL as it is.
bool NeedsEscapeInBase(char c) {
  return static_cast<unsigned char>(c) <= 32 || c == '"' || c == '\'' || c == '<' || c == '>';
}

void AppendEscapedBase(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : text) {
    if (!NeedsEscapeInBase(c)) {
      out.push_back(c);
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 15]);
  }
}

}  // namespace

bool IsSelfContainedReference(std::string_view reference) {
  if (reference.empty() || reference.front() == '#') return true;
  if (!IsAsciiAlpha(reference.front())) return false;
  for (char c : reference.substr(1)) {
    if (c == ':') return true;
    if (!IsAsciiAlnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

std::string JoinWebUrl(std::string_view base, std::string_view reference) {
  base = Trim(base);
  const size_t schemeEnd = base.find(':');
  const size_t authorityStart = schemeEnd + 3;  // after "://"
  size_t authorityEnd = authorityStart;
  while (authorityEnd < base.size() && !IsPathDelimiter(base[authorityEnd]) &&
         base[authorityEnd] != '?' && base[authorityEnd] != '#')
    ++authorityEnd;
  size_t baseQuery = base.find_first_of("?#", authorityEnd);
  if (baseQuery == std::string_view::npos) baseQuery = base.size();

  // Only the reference's path is resolved, "\" counting as "/" in it as a browser counts it
  // in a web URL; its query and fragment are kept as written.
  const size_t query = std::min(reference.find_first_of("?#"), reference.size());
  std::string ref(reference.substr(0, query));
  ReplaceChar(ref, '\\', '/');
  const std::string_view tail = reference.substr(query);
  std::string_view scheme = base.substr(0, schemeEnd + 1);
  // A reference with a web scheme of its own names its own host.
  if (HasWebScheme(ref) && ref.compare(ref.find(':') + 1, 2, "//") == 0) {
    scheme = reference.substr(0, ref.find(':') + 1);
    ref.erase(0, scheme.size());
  }

  std::string out;
  out.reserve(base.size() + reference.size());
  std::string path;
  if (IsSchemeRelative(ref)) {
    out.append(scheme);
    const size_t hostEnd = std::min(ref.find('/', 2), ref.size());
    out.append(ref, 0, hostEnd);
    ref.erase(0, hostEnd);
    if (ref.empty()) {
      out.append(tail);
      return out;
    }
  } else {
    AppendEscapedBase(out, base.substr(0, authorityEnd));
    if (ref.empty() && !tail.empty() && tail.front() == '?') {
      path.assign(base.substr(authorityEnd, baseQuery - authorityEnd));
      if (path.empty()) path = "/";
    } else if (ref.empty() || ref.front() != '/') {
      // Relative to the base's folder: its path up to the last delimiter ("\" counts as "/").
      path.assign(base.substr(authorityEnd, baseQuery - authorityEnd));
      ReplaceChar(path, '\\', '/');
      path.resize(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
      if (path.empty()) path = "/";
    }
  }
  std::string joined;
  AppendEscapedBase(joined, path);
  joined.append(ref);
  AppendWithoutDotSegments(out, joined);
  out.append(tail);
  return out;
}

std::string EscapeLocalNameForUrl(std::string_view path, bool srcset) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kEscaped = " \"'%#?()\\";
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && byte > 32 && byte != 127 && kEscaped.find(c) == std::string_view::npos &&
        !(srcset && c == ',')) {
      out += c;
      continue;
    }
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

}  // namespace lorvex
