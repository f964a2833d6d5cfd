// The web archive reader: walks a MIME web archive (a page saved with its resources as
// ".mht", or a mail message as ".eml") and hands over its parts, their bodies as byte ranges
// of the archive. Writing them out is the archive import's job.
//
// The reader is line-oriented on purpose. A header field is a line of a header block that
// begins with the field's name (any letter case), blanks allowed before its colon; a line
// that merely contains the name elsewhere (a signature's list of signed fields) is no such
// field. The message's header block is the one at the top of the archive (after a mailbox's
// "From " line, if any): its Content-Type field gives the root's kind, and its type=
// parameter is looked for there only. Every other field is read from the part's own header
// block: the lines after a part's delimiter line up to the first line that cannot be a
// header, normally the empty line, fields in any order. The reader's own fields take the
// value from the field's line alone; the fields that name a part (Content-ID, the name and
// filename parameters) are read with their continuation lines. A part's body begins with the
// empty line that ends its headers; a single-part document's body follows it.
// A delimiter line is a line that begins with "--" and the delimiter of the root or of any
// nested list met so far (letter case folded), optionally followed by "--" (the close
// delimiter), then nothing but blanks; so that the parts after a nested list are still
// found, every delimiter met counts. A body line that merely mentions a delimiter is text.
//
// The page: while a page is pending, the next kept part becomes the page. The root's type=
// decides whether one is pending at the start; a nested list makes one pending again while
// no page is written, and afterwards only when the part that opens the nested list belongs
// to the list that holds the page and that list is a multipart/alternative: the list is
// then another form of the page (the HTML with its pictures after the plain text). A list
// that follows the page's content (a footer, a forwarded message, a digest) never replaces
// the page.
//
// A forwarded message: mail forwarded "as attachment" carries the message it forwards as a
// part of type message/rfc822. When the root itself is of that type, or the root is a list
// that has no text/html part and whose first part that is not empty text (a note left blank)
// is of that type, the archive stands for the enclosed message: that part's bytes, decoded
// first when its Content-Transfer-Encoding says base64 or quoted-printable, are read as an
// archive of their own, with their own delimiters, up to kMaxForwardDepth messages deep
// (OpenForwardedMessage). An enclosed message without a byte above a blank is not opened.
// A message/rfc822 part anywhere else is a part like any other.
//
// Cost: the archive is held once (mapped where the system allows) and lines are addressed by
// their byte offsets, with no index built over them. Every forward search (a header name,
// the delimiter) runs over the bytes with the ASCII letters folded as it compares, instead of
// keeping a lower-case copy, and remembers its last answer, so that a search that found
// nothing, or found a line far ahead, is not run again from every delimiter line: the walk
// stays linear in the size of the archive. Bodies are handed over as byte ranges and decoded
// straight into their files.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/MappedFile.h"

namespace lorvex {

enum TMhtPartKind { mkText, mkImage, mkApplication, mkMultipart };
// meRaw: 7bit, 8bit, binary, any other value or none at all; the body is stored as it stands.
enum TMhtEncoding { meQuotedPrintable, meBase64, meRaw };

// Forwarded messages opened inside one another, at most.
constexpr int kMaxForwardDepth = 8;

// The archive ended where its fixed layout calls for a line, or cannot be held.
class MhtError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The archive file's bytes. A line (split at CR, LF or CR LF, the breaks not kept; a break
// at the very end adds no line) is addressed by the offset of its first byte; Size() stands
// for "beyond the last line". No index of the lines is built: the next line is found when it
// is asked for, and the walk asks only for the few lines around each header.
class TMhtArchive {
 public:
  using Pos = size_t;
  static constexpr Pos npos = static_cast<Pos>(-1);

  explicit TMhtArchive(std::string bytes);
  // The archive file; throws FileError when it cannot be read.
  static std::unique_ptr<TMhtArchive> Load(std::string_view fileName);
  // An archive over some of outer's bytes, which it keeps.
  static std::unique_ptr<TMhtArchive> Within(std::unique_ptr<TMhtArchive> outer,
                                             std::string_view bytes);
  TMhtArchive(const TMhtArchive&) = delete;
  TMhtArchive& operator=(const TMhtArchive&) = delete;

  Pos Size() const { return bytes_.size(); }
  bool IsLine(Pos pos) const { return pos < bytes_.size(); }
  // The line's text; throws MhtError beyond the last line.
  std::string_view Line(Pos pos) const;
  // The line after the one at pos; Size() when there is none.
  Pos Next(Pos pos) const;
  // The line that follows the line at pos by count lines; Size() when there is none.
  Pos Advance(Pos pos, int count) const;
  // The first line at pos start or later that contains needle (lower-case) with the ASCII
  // letters folded; npos when none does or needle is empty.
  Pos FindLine(std::string_view needle, Pos start) const;
  // The first delimiter line of delimiter (lower-case, without its "--") at pos start or
  // later; npos when there is none or delimiter is empty.
  Pos FindDelimiterLine(std::string_view delimiter, Pos start) const;
  // The bytes from one line to another, line breaks as they are in the file.
  std::string_view Bytes(Pos from, Pos to) const { return bytes_.substr(from, to - from); }

 private:
  TMhtArchive() = default;
  std::string owned_;
  platform::MappedFile mapped_;
  std::unique_ptr<TMhtArchive> outer_;
  std::string_view bytes_;
};

// A part as handed to the writer. Its body is the part's lines with the line breaks that the
// file has; as text, every line is followed by CR LF (MhtBodyText). Location is the
// Content-Location value, URL-decoded, or empty.
struct TMhtPart {
  std::string_view Body;
  TMhtEncoding Encoding = meQuotedPrintable;
  std::string Location;
  // The Content-Location value as the archive writes it, escapes kept.
  std::string LocationAsWritten;
  // True for the parts that the reader keeps: the page, and the text and image parts whose
  // location names a known resource file. The others come only for their headers' sake:
  // the writer may need one that the page names by its Content-ID.
  bool Kept = true;
  TMhtPartKind Kind = mkText;
  // 1-based position among the parts of the archive (nested lists count as parts).
  size_t Position = 1;
  // The Content-ID (angle brackets off), Content-Type and Content-Disposition values with
  // their continuation lines; empty when the part has no such field.
  std::string ContentId, ContentType, ContentDisposition;
};

// Called for every part, in file order. For a kept part pagePending is true when the part is
// to become the page; the writer clears it once it has written the page. For a part that
// is not kept it is false, and what the writer does with it has no effect on the walk.
using TMhtPartHandler = std::function<void(const TMhtPart& part, bool& pagePending)>;

// Walks the archive and hands over its parts, giving the host's message loop a turn after
// each kept one. Returns false when the root is not text but no delimiter was found: the
// archive is then to be saved whole, undecoded, as the page, and nothing was handed over.
bool WalkMhtArchive(const TMhtArchive& archive, const TMhtPartHandler& handOver,
                    const std::function<void()>& processMessages);

// The message that the archive stands for: the archive itself, or the forwarded message it
// encloses (see the top), which keeps what it was read from.
std::unique_ptr<TMhtArchive> OpenForwardedMessage(std::unique_ptr<TMhtArchive> archive);

// The body text: every line followed by CR LF.
std::string MhtBodyText(std::string_view body);

// A body's bytes as they stand: without the empty line that ends its headers and without the
// line break that belongs to the next delimiter line, so that lone CR and LF bytes survive.
std::string_view MhtRawBody(std::string_view body);

}  // namespace lorvex
