// URLs of the web read as a browser reads them: the URL standard's parser for the schemes of
// the web (http, https, ftp, ws, wss), with a base for relative references.
//
// What the parser does to a value: blanks and control bytes at its ends go and tabs and line
// breaks inside it go; "\" counts as "/"; "." and ".." segments are resolved (also written
// "%2e"), a ".." above the root staying at the root; escapes stay as written ("%2541" stays
// "%2541", "%26" stays "%26"); bytes a URL cannot hold are percent-encoded by the sets of the
// part they stand in (path, query, fragment, user name); the host is lower-cased, IPv4 and IPv6
// addresses are written in their one form, non-ASCII names as "xn--" labels, and the port is
// left out when it is the scheme's own. A URL the parser refuses (a blank or forbidden byte in
// the host, a port above 65535, no host at all) gives nothing.
//
// Bytes from 0x80 up are percent-encoded as they stand: in the path and the fragment they are
// taken as UTF-8, in the query as the document's own encoding, so a caller whose document has
// another encoding turns the path and fragment into UTF-8 first.
//
// Left out: the file: scheme and the schemes without hosts (mailto:, data:, javascript: ...),
// which give nothing here, and the full Unicode mapping of host names (only letter case of the
// common alphabets is folded before a name becomes an "xn--" label).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

struct WebUrl {
  std::string scheme;              // lower case: http, https, ftp, ws or wss
  std::string username, password;  // percent-encoded
  std::string host;                // as written in the URL: a name, "1.2.3.4" or "[::1]"
  std::string port;                // decimal, empty for the scheme's own
  std::vector<std::string> path;   // segments, percent-encoded
  std::optional<std::string> query, fragment;

  // The URL as a text ("href"): scheme://[user[:password]@]host[:port]/path[?query][#fragment].
  std::string Href() const;
  // scheme://host[:port], no user name.
  std::string Origin() const;
};

// The schemes this parser reads.
bool IsWebUrlScheme(std::string_view scheme);

// The URL that input names, relative to base when it has no scheme of its own (or the base's
// scheme without "//"). Nothing when it is refused, needs a base and has none, or names
// another scheme.
std::optional<WebUrl> ParseWebUrl(std::string_view input, const WebUrl* base = nullptr);

// ParseWebUrl's Href, or nothing.
std::optional<std::string> WebUrlHref(std::string_view input, const WebUrl* base = nullptr);

}  // namespace lorvex
