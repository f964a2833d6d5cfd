// Archive texts shared by the reader's and the import's tests.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace lorvex {

// The lines, each followed by CR LF.
inline std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) (text += line) += "\r\n";
  return text;
}

// A page saved by a browser: the page, one picture and a plain-text part.
inline const std::string kSavedPage = Crlf({
    "From: <Saved by a browser>",
    "Subject: page",
    "MIME-Version: 1.0",
    "Content-Type: multipart/related;",
    "\tboundary=\"----=_NextPart_000_0000\";",
    "\ttype=\"text/html\"",
    "",
    "This is a multi-part message in MIME format.",
    "",
    "------=_NextPart_000_0000",
    "Content-Type: text/html; charset=\"gb2312\"",
    "Content-Transfer-Encoding: quoted-printable",
    "Content-Location: http://site/dir/index.htm",
    "",
    "<html><img src=3D\"img/logo.gif\">",
    "</html>",
    "",
    "------=_NextPart_000_0000",
    "Content-Type: image/gif",
    "Content-Transfer-Encoding: base64",
    "Content-Location: http://site/dir/img/logo.gif",
    "",
    "R0lGODlh",
    "",
    "------=_NextPart_000_0000",
    "Content-Type: text/plain",
    "Content-Transfer-Encoding: quoted-printable",
    "Content-Location: http://site/dir/notes.txt",
    "",
    "not a resource",
    "",
    "------=_NextPart_000_0000--",
    "",
});

}  // namespace lorvex
