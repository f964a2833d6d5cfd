#include "archive/MhtReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>

#include "archive/Base64.h"
#include "archive/QuotedPrintable.h"
#include "platform/Platform.h"
#include "util/ByteScan.h"
#include "util/ByteSink.h"
#include "util/FileOperation.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

constexpr std::string_view kContentType = "content-type";
constexpr std::string_view kTransferEncoding = "content-transfer-encoding";
constexpr std::string_view kContentLocation = "content-location";
constexpr std::string_view kContentId = "content-id";
constexpr std::string_view kContentDisposition = "content-disposition";
constexpr std::string_view kTypeParameter = "type=";
constexpr std::string_view kBoundary = "boundary";
constexpr std::string_view kQuotedPrintable = "quoted-printable";
constexpr std::string_view kBase64 = "base64";
constexpr std::string_view kForwardedType = "message/rfc822";
// Every delimiter in use costs its own search over the rest of the archive. Real archives
// nest three or four lists; past this many, a new nested list takes the place of the latest
// one, so that an archive of thousands of nested lists stays linear.
constexpr size_t kMaxDelimiters = 16;
// A field read with its continuation lines is cut here: the names it carries are far
// shorter, and a block of a million continuation lines must not become one string.
constexpr size_t kMaxUnfoldedField = 8192;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The position of needle (lower-case) in text from pos on, ASCII letters folded; npos when
// absent or when needle is empty.
size_t FindFolded(std::string_view text, std::string_view needle, size_t pos = 0) {
  if (needle.empty() || text.size() < needle.size()) return std::string_view::npos;
  const size_t last = text.size() - needle.size();
  const char first = needle[0];
  const char firstUpper = AsciiUpper(first);
  const char* data = text.data();
  for (size_t p = pos; p <= last; ++p) {
    if (first == firstUpper) {
      const void* hit = std::memchr(data + p, first, last - p + 1);
      if (!hit) return std::string_view::npos;
      p = size_t(static_cast<const char*>(hit) - data);
    } else {
      while (p <= last && data[p] != first && data[p] != firstUpper) ++p;
      if (p > last) return std::string_view::npos;
    }
    size_t k = 1;
    while (k < needle.size() && AsciiLower(data[p + k]) == needle[k]) ++k;
    if (k == needle.size()) return p;
  }
  return std::string_view::npos;
}

// True when the line is a delimiter line of delimiter (lower-case, without its "--"): "--",
// the delimiter in any letter case, optionally "--", then blanks only.
bool IsDelimiterLine(std::string_view line, std::string_view delimiter) {
  if (delimiter.empty() || line.size() < delimiter.size() + 2 || line.substr(0, 2) != "--" ||
      !StartsWithIgnoreCase(line.substr(2), delimiter))
    return false;
  std::string_view rest = line.substr(2 + delimiter.size());
  if (rest.substr(0, 2) == "--") rest.remove_prefix(2);
  return std::all_of(rest.begin(), rest.end(), [](char c) { return c == ' ' || c == '\t'; });
}

using Pos = TMhtArchive::Pos;
constexpr Pos npos = TMhtArchive::npos;

// Forward search for the lines that contain one text, remembering its last answer: a search
// from a line between the last start and the line found (or from anywhere after the last
// start when nothing was found) has the same answer.
class LineSearch {
 public:
  // What a line must do to be found: contain the needle, or be its delimiter line.
  enum Kind { kContains, kDelimiter };
  explicit LineSearch(std::string_view needle, Kind kind = kContains)
      : needle_(needle), kind_(kind) {}
  void Reset(std::string_view needle) {
    needle_ = needle;
    from_ = npos;
  }
  Pos Next(const TMhtArchive& archive, Pos start) {
    if (from_ != npos && start >= from_ && (found_ == npos || start <= found_)) return found_;
    found_ = kind_ == kDelimiter ? archive.FindDelimiterLine(needle_, start)
                                 : archive.FindLine(needle_, start);
    from_ = start;
    return found_;
  }

 private:
  std::string needle_;
  Kind kind_;
  Pos from_ = npos;  // npos: nothing remembered
  Pos found_ = npos;
};

std::string_view BeforeSlash(std::string_view value) {
  size_t slash = value.find('/');
  return slash == std::string_view::npos ? value : value.substr(0, slash);
}

// True when the line can belong to a header block: a continuation (it starts with a space or
// a tab) or a field "name: value" whose name is printable ASCII without spaces (blanks
// before the colon are allowed). Empty lines and lines that start with "--" never are, so
// a header block ends at its empty line, at a delimiter line, or at the first line of text.
bool IsHeaderLine(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ' ' || line[0] == '\t') return true;
  if (line.substr(0, 2) == "--") return false;
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return c > 32 && c < 127; });
}

// The position after the colon when the line is the field name (lower-case): it begins with
// the name in any letter case, blanks may stand before the colon. npos otherwise.
size_t FieldValueStart(std::string_view line, std::string_view name) {
  if (!StartsWithIgnoreCase(line, name)) return std::string_view::npos;
  size_t p = name.size();
  while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
  return p < line.size() && line[p] == ':' ? p + 1 : std::string_view::npos;
}

TMhtPartKind KindOf(std::string_view value) {
  if (value.find('/') == std::string_view::npos) return mkText;
  std::string major = AsciiLowerCase(BeforeSlash(value));
  if (major == "image") return mkImage;
  if (major == "application") return mkApplication;
  if (major == "multipart") return mkMultipart;
  return mkText;
}

// A field value's type: the text before its parameters, trimmed.
std::string_view MainValue(std::string_view value) {
  return Trim(value.substr(0, value.find(';')));
}

bool IsForwardedType(std::string_view value) {
  return EqualsIgnoreCase(MainValue(value), kForwardedType);
}

// True when the bytes hold nothing above a blank.
bool IsBlankText(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

// Only the two encodings name a decoding; every other value (7bit, 8bit, binary, or
// anything unknown) means the body is stored as it stands.
TMhtEncoding EncodingOf(std::string_view value) {
  if (EqualsIgnoreCase(value, kQuotedPrintable)) return meQuotedPrintable;
  if (EqualsIgnoreCase(value, kBase64)) return meBase64;
  return meRaw;
}

// The state of one parse. Lines are addressed by their offsets; "line i + 1" is Next(i).
class MhtReader {
 public:
  MhtReader(const TMhtArchive& archive, TMhtPartHandler handOver,
            std::function<void()> processMessages)
      : archive_(archive),
        handOver_(std::move(handOver)),
        processMessages_(std::move(processMessages)) {}

  bool Walk();
  // The part that holds the message the archive forwards (see the top): its bytes from the
  // line after its headers, and its declared encoding (meRaw when it declares none). False
  // when the archive forwards none. Walks the archive: a reader does this or Walk, once.
  bool FindForwarded(std::string_view& body, TMhtEncoding& encoding);

 private:
  // One header block: the lines from First up to, not including, End.
  struct Block {
    Pos First, End;
  };
  // The header block that starts at the line first: up to the first line that cannot be a
  // header line (the empty line, as a rule), or the end of the archive.
  Block HeaderBlock(Pos first) const;
  // The message's own header block: at the top, after a byte order mark and a mailbox's
  // "From " line.
  Block MessageBlock() const;
  // The value of the block's first field of that name, on its line alone; false when the
  // block has none.
  bool BlockField(const Block& block, std::string_view name, std::string_view& value,
                  Pos* at = nullptr) const;
  // The same field's value with its continuation lines, trimmed; empty when there is none.
  std::string UnfoldedField(const Block& block, std::string_view name) const;
  // The delimiter of the list that a delimiter line belongs to.
  std::string_view ListOf(Pos delimiterLine) const;
  // The Content-Location value URL-decoded, and as written into asWritten when given.
  std::string BlockLocation(const Block& block, std::string* asWritten = nullptr) const;
  Pos FindBoundary(Pos start, std::string& delimiter);
  // The root's type= parameter, from the root's own header block only: mkMultipart or
  // mkText, the line that holds it in at (npos when there is none).
  TMhtPartKind FindRootType(const Block& root, Pos& at) const;
  // The first delimiter line at start or later: a line that contains any delimiter met so
  // far, so that a nested list does not hide the lists around it. npos when there is none.
  Pos NextDelimiterLine(Pos start);
  void AddDelimiter(const std::string& delimiter, std::string_view contentType);
  // The body from the line at start to the next delimiter line; next is that delimiter line,
  // or Size() when none follows (no later line can be one then).
  std::string_view CollectPartBody(Pos start, Pos& next);
  // True when the line at pos exists and at least two lines follow it. The walk starts a
  // part only at such a delimiter line, so a delimiter line among the archive's last two
  // lines (a closing delimiter and the empty line after it, as a rule) starts none.
  bool TwoLinesFollow(Pos pos) const {
    return archive_.IsLine(pos) && archive_.IsLine(archive_.Advance(pos, 2));
  }
  bool WalkSinglePart(const Block& message);
  // Reads the header fields that name a part.
  void ReadNames(const Block& block, TMhtPart& part) const;

  // The encoding that the block's Content-Transfer-Encoding field names; meRaw without one.
  TMhtEncoding DeclaredEncoding(const Block& block) const;

  const TMhtArchive& archive_;
  TMhtPartHandler handOver_;
  std::function<void()> processMessages_;
  // The header block of the part being handed over.
  Block partBlock_{0, 0};
  // Set by a handler that has seen enough: the walk ends before the next part.
  bool stopped_ = false;
  bool pagePending_ = false;
  // Set once the writer has written the page, with the delimiter of the page's list.
  bool pageWritten_ = false;
  std::string pageList_;
  bool pageAmongAlternatives_ = false;
  // The delimiters of the lists of alternatives (multipart/alternative) met so far.
  std::set<std::string> alternatives_;
  LineSearch boundarySearch_{kBoundary};
  // One search per delimiter met, each remembering its last answer.
  std::vector<LineSearch> delimiterSearches_;
  std::vector<std::string> delimiters_;
  // FindBoundary's last answer, remembered like a LineSearch's.
  Pos boundaryFrom_ = npos, boundaryFound_ = npos;
  std::string boundaryFoundText_;
};

MhtReader::Block MhtReader::HeaderBlock(Pos first) const {
  Pos end = first;
  while (archive_.IsLine(end) && IsHeaderLine(archive_.Line(end))) end = archive_.Next(end);
  return {first, end};
}

MhtReader::Block MhtReader::MessageBlock() const {
  Pos first = archive_.Bytes(0, std::min(archive_.Size(), kByteOrderMark.size())) == kByteOrderMark
                  ? kByteOrderMark.size()
                  : 0;
  if (archive_.IsLine(first) && archive_.Line(first).substr(0, 5) == "From ")
    first = archive_.Next(first);
  return HeaderBlock(first);
}

bool MhtReader::BlockField(const Block& block, std::string_view name, std::string_view& value,
                           Pos* at) const {
  for (Pos line = block.First; line < block.End; line = archive_.Next(line)) {
    std::string_view text = archive_.Line(line);
    size_t start = FieldValueStart(text, name);
    if (start == std::string_view::npos) continue;
    value = Trim(text.substr(start));
    if (at) *at = line;
    return true;
  }
  return false;
}

std::string MhtReader::UnfoldedField(const Block& block, std::string_view name) const {
  std::string_view first;
  Pos line;
  if (!BlockField(block, name, first, &line)) return {};
  std::string value(first);
  for (line = archive_.Next(line); line < block.End && value.size() < kMaxUnfoldedField;
       line = archive_.Next(line)) {
    std::string_view text = archive_.Line(line);
    if (text[0] != ' ' && text[0] != '\t') break;
    value.append(text);
  }
  if (value.size() > kMaxUnfoldedField) value.resize(kMaxUnfoldedField);
  return std::string(Trim(value));
}

std::string_view MhtReader::ListOf(Pos delimiterLine) const {
  std::string_view text = archive_.Line(delimiterLine);
  std::string_view list;
  for (const std::string& delimiter : delimiters_)
    if (delimiter.size() > list.size() && IsDelimiterLine(text, delimiter)) list = delimiter;
  return list;
}

void MhtReader::ReadNames(const Block& block, TMhtPart& part) const {
  std::string id = UnfoldedField(block, kContentId);
  std::string_view bare = id;
  if (bare.size() >= 2 && bare.front() == '<' && bare.back() == '>')
    bare = Trim(bare.substr(1, bare.size() - 2));
  part.ContentId = bare;
  part.ContentType = UnfoldedField(block, kContentType);
  part.ContentDisposition = UnfoldedField(block, kContentDisposition);
}

std::string MhtReader::BlockLocation(const Block& block, std::string* asWritten) const {
  std::string_view value;
  if (!BlockField(block, kContentLocation, value)) return {};
  if (asWritten) asWritten->assign(value);
  return UrlDecode(value);
}

void MhtReader::AddDelimiter(const std::string& delimiter, std::string_view contentType) {
  if (delimiter.empty()) return;
  if (EqualsIgnoreCase(Trim(contentType.substr(0, contentType.find(';'))), "multipart/alternative"))
    alternatives_.insert(delimiter);
  if (std::find(delimiters_.begin(), delimiters_.end(), delimiter) != delimiters_.end()) return;
  if (delimiters_.size() == kMaxDelimiters) {
    delimiters_.back() = delimiter;
    delimiterSearches_.back().Reset(delimiter);
    return;
  }
  delimiters_.push_back(delimiter);
  delimiterSearches_.emplace_back(delimiter, LineSearch::kDelimiter);
}

Pos MhtReader::NextDelimiterLine(Pos start) {
  Pos first = npos;
  for (LineSearch& search : delimiterSearches_)
    first = std::min(first, search.Next(archive_, start));
  return first;
}

Pos MhtReader::FindBoundary(Pos start, std::string& delimiter) {
  if (!(boundaryFrom_ != npos && start >= boundaryFrom_ &&
        (boundaryFound_ == npos || start <= boundaryFound_))) {
    boundaryFrom_ = start;
    boundaryFound_ = npos;
    boundaryFoundText_.clear();
    for (Pos line = start; (line = boundarySearch_.Next(archive_, line)) != npos;
         line = archive_.Next(line)) {
      std::string_view text = archive_.Line(line);
      size_t open = text.find_first_of("\"'", FindFolded(text, kBoundary) + kBoundary.size());
      if (open == std::string_view::npos) continue;
      size_t close = text.find_first_of("\"'", open + 1);
      if (close == std::string_view::npos) continue;
      boundaryFound_ = line;
      boundaryFoundText_ = AsciiLowerCase(text.substr(open + 1, close - open - 1));
      break;
    }
  }
  delimiter = boundaryFound_ == npos ? std::string() : boundaryFoundText_;
  return boundaryFound_;
}

TMhtPartKind MhtReader::FindRootType(const Block& root, Pos& at) const {
  at = npos;
  for (Pos line = root.First; line < root.End; line = archive_.Next(line)) {
    std::string_view text = archive_.Line(line);
    size_t found = FindFolded(text, kTypeParameter);
    if (found == std::string_view::npos) continue;
    size_t quote = text.find('"', found);
    if (quote == std::string_view::npos) return mkText;
    at = line;
    return EqualsIgnoreCase(BeforeSlash(Trim(text.substr(quote + 1))), "multipart") ? mkMultipart
                                                                                    : mkText;
  }
  return mkText;
}

std::string_view MhtReader::CollectPartBody(Pos start, Pos& next) {
  next = archive_.Size();
  if (!archive_.IsLine(start)) return {};
  Pos delimiter = NextDelimiterLine(start);
  if (delimiter == npos) return archive_.Bytes(start, archive_.Size());
  next = delimiter;
  return archive_.Bytes(start, delimiter);
}

TMhtEncoding MhtReader::DeclaredEncoding(const Block& block) const {
  std::string_view value;
  return BlockField(block, kTransferEncoding, value) ? EncodingOf(value) : meRaw;
}

bool MhtReader::FindForwarded(std::string_view& body, TMhtEncoding& encoding) {
  const Block message = MessageBlock();
  std::string_view value;
  if (!BlockField(message, kContentType, value)) return false;
  if (IsForwardedType(value)) {
    Pos next;
    body = CollectPartBody(message.End, next);
    encoding = DeclaredEncoding(message);
    return true;
  }
  if (KindOf(value) != mkMultipart) return false;
  bool found = false;
  handOver_ = [&](const TMhtPart& part, bool& pagePending) {
    pagePending = false;
    const std::string_view type = MainValue(part.ContentType);
    if (EqualsIgnoreCase(type, "text/html")) {
      found = false;
      stopped_ = true;
      return;
    }
    // Once found, only a later text/html part changes the answer.
    if (found) return;
    const bool text = type.empty() || StartsWithIgnoreCase(type, "text/");
    if (text && IsBlankText(part.Body)) return;
    if (!IsForwardedType(type)) {
      stopped_ = true;
      return;
    }
    found = true;
    body = part.Body;
    encoding = DeclaredEncoding(partBlock_);
  };
  processMessages_ = nullptr;
  Walk();
  return found;
}

bool MhtReader::WalkSinglePart(const Block& block) {
  std::string_view value;
  TMhtEncoding encoding = BlockField(block, kTransferEncoding, value) ? EncodingOf(value) : meRaw;
  // The body follows the block's empty line; a block ended by text has no empty line to skip.
  Pos bodyStart = block.End;
  if (archive_.IsLine(bodyStart) && archive_.Line(bodyStart).empty())
    bodyStart = archive_.Next(bodyStart);
  pagePending_ = true;
  Pos next;
  TMhtPart part;
  part.Body = CollectPartBody(bodyStart, next);
  part.Encoding = encoding;
  part.Location = BlockLocation(block, &part.LocationAsWritten);
  ReadNames(block, part);
  handOver_(part, pagePending_);
  return true;
}

bool MhtReader::Walk() {
  // The root's kind comes from the message's own Content-Type field only: a line further on
  // that mentions the name (a signature's field list, a part's header) does not count.
  const Block message = MessageBlock();
  Pos p = 0;
  std::string_view rootValue;
  const bool contentTypeFound = BlockField(message, kContentType, rootValue, &p);
  const TMhtPartKind rootKind = contentTypeFound ? KindOf(rootValue) : mkText;

  if (rootKind == mkText) {
    // A single-part document. One that ends on its Content-Type line (or an empty file) has
    // no room for a body: asking for the line after it throws MhtError, so the import fails
    // instead of writing an empty page.
    archive_.Line(archive_.Next(p));
    return WalkSinglePart(message);
  }

  std::string delimiter;
  Pos b = FindBoundary(p, delimiter);
  if (b == npos) return false;
  AddDelimiter(delimiter, rootValue);
  // The type= parameter counts only inside the root's header block, wherever it stands
  // there; the walk begins after the later of the boundary and type lines.
  const Block root{p, message.End};
  Pos typeLine;
  pagePending_ = FindRootType(root, typeLine) == mkText;
  if (typeLine != npos && typeLine > b) b = typeLine;

  Pos i = archive_.Next(b);
  size_t position = 0;
  while (!stopped_ && TwoLinesFollow(i)) {
    // Lines that are not delimiter lines are passed over one by one: go straight to the next.
    i = NextDelimiterLine(i);
    if (i == npos || !TwoLinesFollow(i)) break;
    const Pos delimiterLine = i;
    ++position;

    // The part's fields come from its own header block, in any order.
    const Block block = HeaderBlock(archive_.Next(i));
    std::string_view value;
    Pos contentTypeLine = npos;
    const TMhtPartKind kind =
        BlockField(block, kContentType, value, &contentTypeLine) ? KindOf(value) : mkText;
    if (kind == mkMultipart) {
      // A nested list adds its delimiter to those of the lists around it. Its first kept
      // part becomes the page while none is written; afterwards only when the list is
      // another alternative of the page's own list of alternatives (the HTML with its
      // pictures after the plain text), never for a list that follows the page's content.
      std::string nested;
      Pos nestedLine = FindBoundary(contentTypeLine, nested);
      if (!pageWritten_ || (pageAmongAlternatives_ && ListOf(delimiterLine) == pageList_))
        pagePending_ = true;
      if (nestedLine == npos) {
        i = block.End;
        continue;
      }
      AddDelimiter(nested, value);
      i = archive_.Next(nestedLine);
      continue;
    }
    TMhtPart part;
    part.Kind = kind;
    part.Position = position;
    part.Encoding = BlockField(block, kTransferEncoding, value) ? EncodingOf(value) : meRaw;
    part.Location = BlockLocation(block, &part.LocationAsWritten);
    ReadNames(block, part);
    // Application parts are never kept, not even as the page.
    part.Kept = kind != mkApplication && (pagePending_ || IsResourceFile(part.Location));
    // The body starts with the block's empty line.
    part.Body = CollectPartBody(block.End, i);
    partBlock_ = block;
    if (!part.Kept) {
      bool notPage = false;
      handOver_(part, notPage);
      continue;
    }
    const bool asPage = pagePending_;
    handOver_(part, pagePending_);
    if (asPage && !pagePending_) {
      pageWritten_ = true;
      pageList_ = ListOf(delimiterLine);
      pageAmongAlternatives_ = alternatives_.count(pageList_) > 0;
    }
    if (processMessages_) processMessages_();
    pagePending_ = false;
  }
  return true;
}

// The first CR or LF at or after pos (pos at most the size); size when there is none.
size_t FindLineBreak(std::string_view bytes, size_t pos) {
  return FindEitherByte(bytes.data(), pos, bytes.size(), '\r', '\n');
}

}  // namespace

TMhtArchive::TMhtArchive(std::string bytes) : owned_(std::move(bytes)), bytes_(owned_) {}

std::unique_ptr<TMhtArchive> TMhtArchive::Within(std::unique_ptr<TMhtArchive> outer,
                                                 std::string_view bytes) {
  std::unique_ptr<TMhtArchive> archive(new TMhtArchive());
  archive->outer_ = std::move(outer);
  archive->bytes_ = bytes;
  return archive;
}

std::unique_ptr<TMhtArchive> TMhtArchive::Load(std::string_view fileName) {
  std::unique_ptr<TMhtArchive> archive(new TMhtArchive());
  if (!archive->mapped_.Open(fileName)) throw FileError("cannot read " + std::string(fileName));
  archive->bytes_ = archive->mapped_.Bytes();
  return archive;
}

std::string_view TMhtArchive::Line(Pos pos) const {
  if (!IsLine(pos)) throw MhtError("the archive ends where its layout calls for another line");
  return bytes_.substr(pos, FindLineBreak(bytes_, pos) - pos);
}

TMhtArchive::Pos TMhtArchive::Next(Pos pos) const {
  if (!IsLine(pos)) return Size();
  size_t br = FindLineBreak(bytes_, pos);
  if (br >= Size()) return Size();
  if (bytes_[br] == '\r' && br + 1 < Size() && bytes_[br + 1] == '\n') ++br;
  return br + 1;
}

TMhtArchive::Pos TMhtArchive::Advance(Pos pos, int count) const {
  for (int k = 0; k < count; ++k) pos = Next(pos);
  return pos;
}

TMhtArchive::Pos TMhtArchive::FindLine(std::string_view needle, Pos start) const {
  if (needle.empty() || !IsLine(start)) return npos;
  // Searching the bytes from the start line on finds the same line as testing each line:
  // needle holds no line break, so a match never spans two lines.
  size_t hit = FindFolded(bytes_, needle, start);
  if (hit == std::string_view::npos) return npos;
  size_t line = hit;
  while (line > start && bytes_[line - 1] != '\r' && bytes_[line - 1] != '\n') --line;
  return line;
}

TMhtArchive::Pos TMhtArchive::FindDelimiterLine(std::string_view delimiter, Pos start) const {
  if (delimiter.empty() || !IsLine(start)) return npos;
  // Each place where the delimiter stands is tested once: the search moves on past it, so
  // the cost stays linear in the bytes searched.
  for (size_t at = start; (at = FindFolded(bytes_, delimiter, at)) != std::string_view::npos;
       ++at) {
    if (at < start + 2 || bytes_[at - 1] != '-' || bytes_[at - 2] != '-') continue;
    const size_t line = at - 2;
    if (line > start && bytes_[line - 1] != '\r' && bytes_[line - 1] != '\n') continue;
    if (IsDelimiterLine(Line(line), delimiter)) return line;
  }
  return npos;
}

bool WalkMhtArchive(const TMhtArchive& archive, const TMhtPartHandler& handOver,
                    const std::function<void()>& processMessages) {
  MhtReader reader(archive, handOver, processMessages);
  return reader.Walk();
}

std::unique_ptr<TMhtArchive> OpenForwardedMessage(std::unique_ptr<TMhtArchive> archive) {
  for (int depth = 0; depth < kMaxForwardDepth; ++depth) {
    std::string_view body;
    TMhtEncoding encoding = meRaw;
    if (!MhtReader(*archive, nullptr, nullptr).FindForwarded(body, encoding)) break;
    body = MhtRawBody(body);
    if (encoding == meRaw) {
      if (IsBlankText(body)) break;
      archive = TMhtArchive::Within(std::move(archive), body);
      continue;
    }
    std::string decoded;
    if (encoding == meQuotedPrintable) {
      decoded = DecodeQuotedPrintable(MhtBodyText(body));
    } else {
      StringSink sink;
      Base64DecodeText(body, sink);
      decoded = std::move(sink.Text());
    }
    if (IsBlankText(decoded)) break;
    // The decoded message holds its own bytes: what it was read from is no longer needed.
    archive = std::make_unique<TMhtArchive>(std::move(decoded));
  }
  return archive;
}

std::string MhtBodyText(std::string_view body) { return NormalizeLineBreaks(body); }

std::string_view MhtRawBody(std::string_view body) {
  if (!body.empty() && (body[0] == '\r' || body[0] == '\n'))
    body.remove_prefix(body.size() > 1 && body[0] == '\r' && body[1] == '\n' ? 2 : 1);
  if (body.size() >= 2 && body.substr(body.size() - 2) == "\r\n")
    body.remove_suffix(2);
  else if (!body.empty() && (body.back() == '\r' || body.back() == '\n'))
    body.remove_suffix(1);
  return body;
}

}  // namespace lorvex
