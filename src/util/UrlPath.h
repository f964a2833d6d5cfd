// URL and path routines shared by the imports. Paths and URLs are treated with one
// vocabulary: "\" and "/" both separate folders wherever a delimiter is looked for.
//
// Every routine is a pure function of 8-bit text except GetLongPath, which asks the file
// system. Prefix and extension comparisons are byte-exact unless a routine lower-cases first
// (ASCII letters only); to trim is to drop every byte of code 32 or less from both ends.
// Nothing here throws.
#pragma once

#include <string>
#include <string_view>

#include "util/Strings.h"

namespace lorvex {

// Empty stays empty; a text ending in "\" or "/" stays; anything else gets "\".
std::string AddBackslash(std::string_view text);
// A text ending in "/" or "\" stays; anything else gets "/".
std::string AddSlash(std::string_view text);
// Removes exactly one trailing "\" or "/".
std::string RemoveTrailingDelimiter(std::string_view text);

constexpr bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

// Percent-decoding: "%" and two hex digits become that byte. When the two characters after a
// "%" are not both hex digits, the "%" is dropped and the next character is copied as it is. A
// lone hex digit at the very end is read alone ("%4" gives byte 4); a final "%" is dropped.
// Decoded bytes are not scanned again, and "+" is left alone.
std::string UrlDecode(std::string_view text);
// Decodes every line of a list on its own, each as if a line break followed it, so the bytes
// are those of decoding the list's text as a whole, except that a decoded CR or LF stays inside
// its line instead of splitting it: the list keeps one line per entry.
void UrlDecodeList(StringList& lines);

// False only for a trimmed text of 7 or more characters beginning with "http://", "https://"
// or "ftp://" (byte-exact).
bool IsLocalPath(std::string_view reference);
// A location on the web: it begins with "http://" or "https://", letters folded.
bool IsWebUrl(std::string_view text);
// The scheme of a URL with letters folded ("http", "mhtml"): a letter, then letters, digits,
// "+", "-" or ".", up to the first ":". Two characters at least, so a drive letter is none;
// empty for none.
std::string UrlScheme(std::string_view url);
// A URL fetched over the web: its scheme is http, https or ftp.
bool HasWebScheme(std::string_view url);
// A scheme whose URLs name no file to fetch: data, cid, javascript, mailto, about, blob.
bool IsSchemeOfNoFile(std::string_view scheme);
// "//host/path": a reference to another host in the scheme of the page.
bool IsSchemeRelative(std::string_view reference);
// True without any ":"; otherwise only for "./", ".\", "../", "..\" or a leading "/" or "\".
bool IsRelativeUrl(std::string_view reference);
// The trimmed text after its last "/", "\" or ":" (query included).
std::string ExtractUrlFileName(std::string_view reference);
// The text before the first "?".
std::string StripUrlQuery(std::string_view reference);
// The extension of ExtractUrlFileName, dot included; empty without a dot.
std::string ExtractUrlFileExt(std::string_view reference);
// The name after the last "\" or ":" without its extension.
std::string FileNameOnly(std::string_view path);

// Extension tests on the lower-cased ExtractUrlFileExt.
bool IsResourceFile(std::string_view reference);
bool IsPageFile(std::string_view reference);
bool IsScriptFile(std::string_view reference);
bool IsAspFile(std::string_view reference);

// The extension tests of the complete-page mode, which saves what modern pages use: each
// looks at the reference without its query and fragment ("app.js?ver=3" is a script,
// "icons.svg#home" a resource), and resources also include modern images, fonts, media,
// captions, manifests and source maps.
std::string_view WithoutQueryOrFragment(std::string_view reference);
bool IsCompletePageResourceFile(std::string_view reference);
bool IsCompletePageFile(std::string_view reference);
bool IsCompletePageScriptFile(std::string_view reference);

// The folder part, delimiter included. Local: up to the last "\" or ":" ("/" does not count).
// Remote: the whole text when it ends in a delimiter, else up to the last "/" or "\".
std::string ExtractUrlFolder(std::string_view reference);
// One trailing delimiter off, then the text before the last delimiter.
std::string ParentUrlFolder(std::string_view folder);
// One trailing delimiter off, then the text after the last delimiter; empty without one.
std::string LastUrlFolderName(std::string_view folder);
// "c:\" for a drive path; else up to the first delimiter at or after position 10 (1-based).
std::string ExtractUrlRoot(std::string_view base);
// "logo.gif" with tag "2" gives "logo[2].gif"; without extension the bracket goes at the end.
std::string TagFileName(std::string_view name, std::string_view tag);
// "file:" URLs to drive paths: the scheme and leading delimiters go, "/" becomes "\".
std::string FileUrlToPath(std::string_view reference);
// The long form of a local path from the file system; the path itself when there is none.
std::string GetLongPath(std::string_view path);

// A relative reference joined to a base folder (decoding both, following "./" and "../"; on
// the web a "../" above the root stays at the root). An absolute reference comes back
// unchanged.
std::string CombineUrl(std::string_view baseFolder, std::string_view reference);
// The full name of what `reference`, found in the page `base`, points to: drive paths with
// "\", everything else with "/"; empty for an empty or one-character result. On a base from
// the web a scheme-relative reference ("//cdn/x.png") takes the base's scheme, and the "." and
// ".." segments of a web URL's path are resolved as a browser resolves them, a ".." above the
// root staying at the root.
std::string ResolveUrl(std::string_view base, std::string_view reference);
// ResolveUrl in two steps, for resolving many references against one base:
// ResolveUrl(base, ref) == ResolveUrlInFolder(ResolveBaseFolder(base), ref).
std::string ResolveBaseFolder(std::string_view base);
std::string ResolveUrlInFolder(std::string_view baseFolder, std::string_view reference);
// A reference that keeps its meaning wherever the page that holds it is saved: empty, an
// in-page fragment, or one with a scheme of its own ("http:", "data:", "cid:", "mailto:" ...).
bool IsSelfContainedReference(std::string_view reference);

// A reference made absolute the way a browser does it, for a base on the web: a reference
// beginning with "//" takes the base's scheme, one beginning with "/" its scheme and host,
// one with a web scheme and "//" of its own keeps them, any other takes the base's folder;
// "\" counts as "/" in the reference's path, and "." and ".." segments of the path are
// resolved, a ".." above the root staying at the root. The reference's percent-escapes, query
// and fragment stay as written; bytes of the base that could not stand in an attribute value
// (blanks, quotes, "<", ">") are percent-encoded.
std::string JoinWebUrl(std::string_view base, std::string_view reference);
// Appends ResolveUrlInFolder(baseFolder, reference) to out.
void AppendResolvedUrl(std::string& out, std::string_view baseFolder, std::string_view reference);

// A local file's path as a URL names it: the ASCII bytes that cannot stand there as they are
// (blanks, quotes, "%", "#", "?", "(", ")", "\\", and "," in a srcset) and every byte outside
// ASCII percent-encoded. The path is UTF-8, so a browser finds the file whatever the page's
// charset; "/" separates folders.
std::string EscapeLocalNameForUrl(std::string_view path, bool srcset);

}  // namespace lorvex
