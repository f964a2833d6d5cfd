// A slow model of the web archive reader for archives in the saved-page layout
// (ReferenceReader), a model of the part writer for what it hands over (ReferenceFiles), and
// random archives in that layout, shared by the reader's tests and its differential fuzz
// target.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "archive/MhtReader.h"
#include "links/PageLinks.h"
#include "support/DecoderModels.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex::model {

struct Handed {
  std::string location;
  TMhtEncoding encoding;
  std::string body;
  bool page;
  bool operator==(const Handed&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Handed& h) {
  return out << "{" << h.location << ", " << h.encoding << ", [" << h.body << "], " << h.page
             << "}";
}

struct Walk {
  bool walked = false;
  std::vector<Handed> parts;
  std::vector<std::string> locationsAsWritten;  // one for each of parts
};

// Walks the archive; the handler plays a writer that writes every page it is offered, and
// keeps the parts that the reader keeps.
inline Walk WalkArchive(const TMhtArchive& archive) {
  Walk walk;
  walk.walked = WalkMhtArchive(
      archive,
      [&](const TMhtPart& part, bool& pagePending) {
        if (!part.Kept) return;
        walk.parts.push_back({part.Location, part.Encoding, MhtBodyText(part.Body), pagePending});
        walk.locationsAsWritten.push_back(part.LocationAsWritten);
        pagePending = false;
      },
      nullptr);
  return walk;
}

inline Walk WalkText(std::string text) { return WalkArchive(TMhtArchive(std::move(text))); }

// The walk over the message that the archive stands for (OpenForwardedMessage).
inline Walk WalkMessage(std::string text) {
  return WalkArchive(*OpenForwardedMessage(std::make_unique<TMhtArchive>(std::move(text))));
}

// A model of the reader for the saved-page layout, on a list of lines with indexes, every
// search run from scratch on lower-cased copies: fields at fixed distances from the encoding
// line, the root's type= searched from the boundary line on, one delimiter replaced by a
// nested one, the body of a single-part document three lines after its encoding line. These
// shortcuts hold only in that layout; on archives in it, the reader must hand over exactly
// what the model gives. Small inputs only.
class ReferenceReader {
 public:
  explicit ReferenceReader(std::string_view text) : lines_(SplitLines(text)) {}

  Walk Run() {
    Walk walk;
    long p = 0;
    if (FindContentType(0, p) == mkText) {
      pending_ = true;
      TMhtEncoding encoding = FindTransferEncoding(p, p);
      std::string location = Location(Line(p + 1));
      long end;
      HandOver(walk, Body(p + 3, end), encoding, location, LocationAsWritten(Line(p + 1)));
      walk.walked = true;
      return walk;
    }
    long b = FindBoundary(p);
    if (b < 0) return walk;
    walk.walked = true;
    pending_ = FindRootType(b, b) == mkText;
    const long n = long(lines_.size());
    for (long i = b + 1; i < n - 2;) {
      if (!IsDelimiter(i)) {
        ++i;
        continue;
      }
      const long delimiterLine = i;
      TMhtPartKind kind = FindContentType(i, i);
      if (kind == mkApplication) {
        ++i;
        continue;
      }
      if (kind == mkMultipart) {
        b = FindBoundary(i);
        pending_ = true;
        i = b + 1;  // 0 when there is none: no line is a delimiter line any more
        continue;
      }
      TMhtEncoding encoding = FindTransferEncoding(i, i);
      std::string location = Location(Line(i + 1));
      if (!pending_ && !IsResourceFile(location)) {
        if (i == delimiterLine) ++i;
        continue;
      }
      long end;
      std::string body = Body(i + 2, end);
      HandOver(walk, body, encoding, location, LocationAsWritten(Line(i + 1)));
      i = end + 1;
      pending_ = false;
    }
    return walk;
  }

 private:
  bool Contains(long line, std::string_view needle) const {
    return !needle.empty() &&
           AsciiLowerCase(lines_[size_t(line)]).find(needle) != std::string::npos;
  }
  long FindLine(std::string_view needle, long start) const {
    for (long l = std::max(start, 0L); l < long(lines_.size()); ++l)
      if (Contains(l, needle)) return l;
    return -1;
  }
  const std::string& Line(long i) const {
    if (i < 0 || i >= long(lines_.size())) throw MhtError("beyond the last line");
    return lines_[size_t(i)];
  }
  bool Field(std::string_view name, long start, long& index, std::string& value) const {
    long l = FindLine(name, start);
    if (l < 0) return false;
    size_t colon = lines_[size_t(l)].find(':', AsciiLowerCase(lines_[size_t(l)]).find(name));
    if (colon == std::string::npos) return false;
    value = std::string(Trim(std::string_view(lines_[size_t(l)]).substr(colon + 1)));
    index = l;
    return true;
  }
  TMhtPartKind FindContentType(long start, long& index) const {
    std::string value;
    if (!Field("content-type", start, index, value) || value.find('/') == std::string::npos)
      return mkText;
    std::string major = AsciiLowerCase(value.substr(0, value.find('/')));
    return major == "image"         ? mkImage
           : major == "application" ? mkApplication
           : major == "multipart"   ? mkMultipart
                                    : mkText;
  }
  TMhtEncoding FindTransferEncoding(long start, long& index) const {
    std::string value;
    if (!Field("content-transfer-encoding", start, index, value)) return meRaw;
    return AsciiLowerCase(value) == "quoted-printable" ? meQuotedPrintable : meBase64;
  }
  long FindBoundary(long start) {
    for (long l = std::max(start, 0L); l < long(lines_.size()); ++l) {
      if (!Contains(l, "boundary")) continue;
      std::string lower = AsciiLowerCase(lines_[size_t(l)]);
      size_t open = lower.find_first_of("\"'", lower.find("boundary") + 8);
      if (open == std::string::npos) continue;
      size_t close = lower.find_first_of("\"'", open + 1);
      if (close == std::string::npos) continue;
      boundary_ = lower.substr(open + 1, close - open - 1);
      return l;
    }
    boundary_.clear();
    return -1;
  }
  TMhtPartKind FindRootType(long start, long& index) const {
    long l = FindLine("type=", start);
    if (l < 0) return mkText;
    const std::string& line = lines_[size_t(l)];
    size_t quote = line.find('"', AsciiLowerCase(line).find("type="));
    if (quote == std::string::npos) return mkText;
    index = l;
    std::string value(Trim(std::string_view(line).substr(quote + 1)));
    return AsciiLowerCase(value.substr(0, value.find('/'))) == "multipart" ? mkMultipart : mkText;
  }
  static std::string LocationAsWritten(const std::string& line) {
    size_t name = AsciiLowerCase(line).find("content-location");
    if (name == std::string::npos) return {};
    size_t colon = line.find(':', name + 16);
    if (colon == std::string::npos) return {};
    return std::string(Trim(std::string_view(line).substr(colon + 1)));
  }
  static std::string Location(const std::string& line) {
    return UrlDecode(LocationAsWritten(line));
  }
  // "--" and the boundary, or its close form, with only blanks after it.
  bool IsDelimiter(long line) const {
    if (boundary_.empty()) return false;
    std::string text = AsciiLowerCase(lines_[size_t(line)]);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text == "--" + boundary_ || text == "--" + boundary_ + "--";
  }
  std::string Body(long start, long& end) const {
    std::string body;
    end = start;
    for (long l = start; l < long(lines_.size()); ++l) {
      if (IsDelimiter(l)) {
        end = l - 1;
        break;
      }
      (body += lines_[size_t(l)]) += "\r\n";
    }
    return body;
  }
  void HandOver(Walk& walk, std::string body, TMhtEncoding encoding, std::string location,
                std::string locationAsWritten) {
    walk.parts.push_back({location, encoding, body, pending_});
    walk.locationsAsWritten.push_back(std::move(locationAsWritten));
    pending_ = false;
  }

  StringList lines_;
  std::string boundary_;
  bool pending_ = false;
};

// The files that the part writer writes for the parts a walk handed over, by their path
// under the work folder ("15.htm", "15.files/a.gif"): the page and every quoted-printable
// resource decoded and rewritten against the page's folder, base64 resources decoded byte
// for byte, a later part with the same name replacing the earlier one, a resource without a
// name not written. Text goes out as CR LF lines. For archives in the saved-page layout,
// whose names are all safe and differ in more than letter case.
// The names of the saved-page layout are ASCII: as a page names them, the bytes a URL cannot
// hold are escaped.
inline std::string EscapeName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (std::string_view(" \"'%#?()\\").find(c) == std::string_view::npos) {
      out += c;
      continue;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[c & 15];
  }
  return out;
}

inline std::map<std::string, std::string> ReferenceFiles(const Walk& walk, std::string_view work,
                                                         const std::string& document) {
  std::map<std::string, std::string> files;
  const std::string localFolder = AddBackslash(work) + document + ".files/";
  std::string baseUrl, pageLocation;
  // A reference to a file that no part becomes keeps its web address.
  std::set<std::string> written;
  for (const Handed& part : walk.parts)
    if (!part.page && !Trim(ExtractUrlFileName(part.location)).empty())
      written.insert(AsciiLowerCase(Trim(ExtractUrlFileName(part.location))));

  auto lines = [](std::string_view text) { return JoinLines(SplitLines(text)); };
  for (size_t k = 0; k < walk.parts.size(); ++k) {
    const Handed& part = walk.parts[k];
    const std::string name(Trim(ExtractUrlFileName(part.location)));
    if (name.empty() && !part.page) continue;
    if (part.page) pageLocation = walk.locationsAsWritten[k];
    const WrittenFiles writtenFiles{written, pageLocation};
    const bool quoted = part.encoding == meQuotedPrintable;
    const std::string text =
        quoted ? ReferenceQuotedPrintable(part.body) : ReferenceDecode(part.body);
    if (part.page) {
      baseUrl = ExtractUrlFolder(part.location);
      files[document + ".htm"] = lines(
          RewritePageLinks(text, localFolder, baseUrl, nullptr, EscapeName, &writtenFiles));
    } else {
      files[document + ".files/" + name] =
          quoted ? lines(RewritePageLinks(text, localFolder, baseUrl, nullptr, EscapeName,
                                          &writtenFiles))
                 : text;
    }
  }
  return files;
}

// A random archive in the saved-page layout: root headers with the type= parameter after the
// boundary, every part's headers on single lines in the order Content-Type,
// Content-Transfer-Encoding, Content-Location, then the empty line; quoted-printable or base64
// bodies; no nesting. One kind of line break per archive.
template <class Random>
std::string SavedPageLayoutArchive(Random& random) {
  auto pick = [&](std::initializer_list<std::string_view> items) {
    return std::string(items.begin()[random() % items.size()]);
  };
  auto anyCase = [&](std::string name) {
    for (char& c : name)
      if (random() % 3 == 0) c = AsciiUpper(c);
    return name;
  };
  std::vector<std::string> lines;
  // Chosen first, so that body lines can mention it without being delimiters.
  const std::string delimiter = pick({"----=_NextPart_000_0000", "b1", "Qx9"});
  for (size_t k = random() % 4; k > 0; --k)
    lines.push_back(
        pick({"From: <Saved by the test>", "Subject: page", "MIME-Version: 1.0", "X-Note: 1"}));
  auto partHeaders = [&](std::string type) {
    lines.push_back(anyCase("Content-Type") + ": " + type);
    lines.push_back(anyCase("Content-Transfer-Encoding") + ": " +
                    pick({"base64", "quoted-printable", "BASE64", "Quoted-Printable"}));
    lines.push_back(anyCase("Content-Location") + ":" +
                    pick({" http://site/dir/index.htm", " img/a.gif", " my%20b.GIF", " notes.txt",
                          " p.png?v=2", " http://site/s.css", "", " x/page.html"}));
    lines.push_back("");
    for (size_t k = random() % 5; k > 0; --k)
      lines.push_back(pick({"QUJD", "a=3Db", "", "<link type=3D\"text/css\" href=3D\"s.css\">",
                            "R0lGODlh", "Content-Type: image/gif", "abc=", "boundary=\"zz\"",
                            "=E9t=E9", "=4a =\" ==41", "see --" + delimiter, "--" + delimiter + "x",
                            "--" + delimiter + "-- x"}));
  };
  if (random() % 6 == 0) {
    partHeaders(pick({"text/html; charset=\"gb2312\"", "text/plain", "audio/basic"}));
  } else {
    const std::string open = pick({"\"", "'"}), close = pick({"\"", "'", "\""});
    const std::string boundary = "boundary=" + open + delimiter + close;
    const std::string type =
        "type=\"" + pick({"text/html", "multipart/alternative", "text/plain"}) + "\"";
    const std::string rootType = anyCase("Content-Type") + ": multipart/related;";
    switch (random() % 3) {
      case 0:
        lines.push_back(rootType + " " + boundary + "; " + type);
        break;
      case 1:
        lines.insert(lines.end(), {rootType, "\t" + boundary + ";", "\t" + type});
        break;
      default:
        lines.insert(lines.end(), {rootType, "\t" + boundary + "; " + type});
        break;
    }
    lines.push_back("");
    if (random() % 2)
      lines.insert(lines.end(), {"This is a multi-part message in MIME format.", ""});
    auto delimiterLine = [&] {
      return "--" + (random() % 4 ? delimiter : AsciiLowerCase(delimiter));
    };
    for (size_t k = random() % 7; k > 0; --k) {
      lines.push_back(delimiterLine());
      partHeaders(pick({"text/html; charset=\"utf-8\"", "image/gif", "IMAGE/png", "text/css",
                        "application/octet-stream", "audio/basic", "text/plain"}));
    }
    // A closing line followed by two lines or more would start a part without headers.
    const bool closed = random() % 4;
    if (closed) lines.push_back(delimiterLine() + "--");
    for (size_t k = random() % (closed ? 2 : 3); k > 0; --k)
      lines.push_back(pick({"", "epilogue"}));
  }
  const std::string br = pick({"\r\n", "\n", "\r"});
  std::string text;
  for (const std::string& line : lines) (text += line) += br;
  if (random() % 4 == 0 && !text.empty()) text.resize(text.size() - br.size());
  return text;
}

}  // namespace lorvex::model
