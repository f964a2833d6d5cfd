// The base that the complete-page mode reads a document's references against, and what it
// makes of each value: the URL fetched, and the address written back for one not saved.
//
// On the web (a base of http, https or ftp) a value is read by the URL parser (WebUrl.h) as a
// browser reads it: escapes stay as written, "\" is "/", dot segments resolve without climbing
// above the root, and what a URL cannot hold is percent-encoded, the path and fragment as
// UTF-8 (a page in another declared charset has them converted), the query in the page's own
// bytes. A value the parser refuses names nothing. The result is a URL as a browser sends it,
// which an attribute can hold as it stands.
//
// A document on disk resolves its values as the default mode does (ResolveUrl, decoded, drive
// paths with "\"), except a value with a web scheme of its own, which the parser reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "util/WebUrl.h"

namespace lorvex {

class DocumentBase {
 public:
  // location: the document's own, as the import has it (a URL as fetched, or a path);
  // charset: the charset its text declares, empty for none.
  explicit DocumentBase(std::string_view location, std::string_view charset = {});

  // The charset the document's text declares (a meta tag's), for the values read after.
  void DeclareCharset(std::string_view charset);

  // A <base href> value, resolved against the base in force: the base from then on. False,
  // nothing changed, when it does not count: refused, or in a document from the web one that
  // is not a web address.
  bool SetBase(std::string_view href);

  // The URL to fetch for a value without its fragment; empty for none.
  std::string FetchUrl(std::string_view path) const;
  // The address written back for a value that is not saved (a link, a refresh, a value of a
  // kind that is not saved): a web address; on disk a value without a web scheme has its
  // resolved location. Nothing when the value stays as written.
  std::optional<std::string> Address(std::string_view value) const;

  // The document came from the web; its base is on the web.
  bool FromWeb() const { return fromWeb_; }
  bool OnWeb() const { return web_.has_value(); }

 private:
  // The value as the parser is to read it: the path and fragment in UTF-8.
  std::string ForParser(std::string_view value) const;
  std::optional<std::string> Parse(std::string_view value) const;

  std::optional<WebUrl> web_;  // the base, on the web
  std::string pageBase_;       // the document's location as ResolveUrl gives it
  std::string base_;           // the base in force, in that form
  std::string charset_;        // to convert from; empty when the text needs no conversion
  bool fromWeb_ = false;
};

}  // namespace lorvex
