// The web archive import: a MIME web archive (a page saved with its resources as ".mht", or
// a mail message as ".eml") becomes the page file "<doc>.htm" and the parts folder
// "<doc>.files\" in the work folder, and the work folder is then packed for the host. The
// archive reader hands over the parts; this unit writes them, the page with its links
// rewritten.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "archive/MhtReader.h"
#include "links/PageLinks.h"

namespace lorvex {

// What the import needs from its host.
struct TMhtHost {
  // The host's text for a message key ("DirectoryCreateFail"); may be left empty.
  std::function<std::string(const char* key)> GetHostMessage;
  // Gives the host's message loop one turn; may be left empty.
  std::function<void()> ProcessMessages;
};

// The pattern with every "%s" replaced by argument and "%%" by "%"; nothing else changes.
std::string FormatMessagePattern(std::string_view pattern, std::string_view argument);

// How a part is written beyond the location's name and the page's rewriting.
struct TMhtWriteOptions {
  // The resource's file name; empty for the file name of its location.
  std::string Name;
  // The local names of the parts that a page may name by a cid: address; may be null.
  const CidNames* Cids = nullptr;
  // A resource that is an HTML document of its own (a saved frame): decoded whatever its
  // encoding and rewritten as the page is, against its own location.
  bool AsHtml = false;
  // When set, receives the decoded text of the page or of an HTML resource before its
  // rewriting, so that the caller can find the parts it names.
  std::string* HtmlText = nullptr;
  // For a resource that is a style sheet: the names that its url(), @import and image-set
  // references to cid: addresses take. They are bare file names, since the sheet lies in the
  // parts folder beside the parts; every other byte of the sheet is written as it stands. May be
  // null.
  const CidNames* SheetCids = nullptr;
  // When set, receives the keys of SheetCids that the sheet's references named.
  std::vector<std::string>* SheetCidsNamed = nullptr;
  // The names of the files that the import writes into the parts folder, lower-case. When
  // set, a reference whose file is not among them is written as its web address, joined
  // with LocationAsWritten, or left as written (RewritePageLinks). May be null.
  const std::set<std::string>* WrittenNames = nullptr;
  // The location, as the archive writes it, that the text's references are joined with: the
  // part's own for the page and a saved frame, the page's for a style sheet or script.
  std::string_view LocationAsWritten;
};

// Writes one part: the page ("<doc>.htm", links rewritten) while pagePending is true,
// otherwise a resource file in "<doc>.files\". Leaves a message for the user in message
// (empty when there is none): a folder that could not be created, or a part skipped for an
// unsafe file name. Throws FileError when a file cannot be written.
void WriteMhtPart(bool& pagePending, std::string_view body, TMhtEncoding encoding,
                  std::string_view location, std::string& baseUrl, std::string_view workFolder,
                  std::string_view documentName, std::string& message, const TMhtHost& host,
                  const TMhtWriteOptions& options = {});

// Reads the archive and writes its page and parts. Every message that a part left is added
// to messages, in order, so that a failure is not hidden by a later part that went well.
//
// Parts that a page names by a cid: address (a mail's inline pictures by their Content-ID,
// a saved page's style sheets and frames) are named before anything is written, from every
// part's header block: by the file name of a location that names a known resource file,
// else by the file name their headers declare (DeclaredFileName: encoded words and RFC 2231
// values, converted to the 8-bit names the import writes), else "part<position><extension
// for the type>"; a name that another part has taken (in any letter case) gets the next free
// "name[k].ext". Such a part is written, whatever its type, once the page, a written HTML
// part or a written style sheet names it; an HTML part so named is rewritten as the page is.
// A style sheet's references to them (url(), @import) are pointed at their bare file names.
// Every name is written into the page and the sheets as a URL names it: bytes outside ASCII
// percent-encoded as UTF-8, and the ASCII bytes a URL cannot hold as they are ("%", "#", "?",
// blanks, quotes ...) escaped; the file keeps its name. A reference to a resource whose file
// the import does not write (a font or icon the saving browser left out) keeps its address on
// the web.
//
// Mail forwarded as an attachment is read as the message that it forwards
// (OpenForwardedMessage).
void ParseMhtDocument(std::string_view archiveFileName, std::string_view workFolder,
                      std::string_view documentName, std::vector<std::string>& messages,
                      const TMhtHost& host);

// Packs the work folder's page and parts folder for the host.
using TMhtPack =
    std::function<void(const std::string& documentName, const std::string& workFolder)>;

// The whole import: ParseMhtDocument, then pack (when given) with the work folder exactly as
// passed. Errors (an unreadable archive, a file that cannot be written, packing) propagate;
// the messages for the user gathered up to then are in messages all the same.
void ImportMhtFile(std::string_view archiveFileName, std::string_view workFolder,
                   std::string_view documentName, const TMhtHost& host, const TMhtPack& pack,
                   std::vector<std::string>& messages);

}  // namespace lorvex
