// The web archive reader: walks a MIME web archive (a page saved with its resources as
// ".mht", or a mail message as ".eml") and hands over the parts it keeps, their bodies as
// byte ranges of the archive. Writing them out is the archive import's job.
//
// The reader is line-oriented on purpose and never unfolds headers. The root's kind is the
// first line of the archive that contains "Content-Type" in any letter case. Every other
// field is read from its own header block: the lines after a part's delimiter line (or,
// for a single-part document, the block that holds its Content-Type line) up to the first
// line that cannot be a header, normally the empty line. There the first line that contains
// a field's name gives its value, so the fields may come in any order; the root's type=
// parameter is looked for in the root's header block only. A part's body begins with the
// empty line that ends its headers; a single-part document's body follows it.
// A delimiter line is any line that contains, lower-cased, the delimiter of the root or of
// any nested list met so far, so that the parts after a nested list are still found.
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
// meRaw: 7bit, 8bit, binary or any other value; the body is stored as it stands.
enum TMhtEncoding { meQuotedPrintable, meBase64, meRaw };

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
  // The bytes from one line to another, line breaks as they are in the file.
  std::string_view Bytes(Pos from, Pos to) const { return bytes_.substr(from, to - from); }

 private:
  TMhtArchive() = default;
  std::string owned_;
  platform::MappedFile mapped_;
  std::string_view bytes_;
};

// A part as handed to the writer. Its body is the part's lines with the line breaks that the
// file has; as text, every line is followed by CR LF (MhtBodyText). Location is the
// Content-Location value, URL-decoded, or empty.
struct TMhtPart {
  std::string_view Body;
  TMhtEncoding Encoding = meQuotedPrintable;
  std::string Location;
};

// Called for every part that the reader keeps, in file order. PagePending is true when the
// part is to become the page; the writer clears it once it has written the page.
using TMhtPartHandler = std::function<void(const TMhtPart& part, bool& pagePending)>;

// Walks the archive and hands over every part that it keeps, giving the host's message loop
// a turn after each. Returns false when the root is not text but no delimiter was found: the
// archive is then to be saved whole, undecoded, as the page, and nothing was handed over.
bool WalkMhtArchive(const TMhtArchive& archive, const TMhtPartHandler& handOver,
                    const std::function<void()>& processMessages);

// The body text: every line followed by CR LF.
std::string MhtBodyText(std::string_view body);

}  // namespace lorvex
