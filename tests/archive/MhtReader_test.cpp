#include "archive/MhtReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/Base64.h"
#include "support/ArchiveModel.h"
#include "support/ArchiveSamples.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {
namespace {

using model::Handed;
using model::ReferenceReader;
using model::SavedPageLayoutArchive;
using model::Walk;
using model::WalkMessage;
using model::WalkText;

TEST(MhtReader, SavedPageGivesThePageThenTheResources) {
  Walk walk = WalkText(kSavedPage);
  ASSERT_TRUE(walk.walked);
  EXPECT_EQ(walk.parts,
            (std::vector<Handed>{
                {"http://site/dir/index.htm", meQuotedPrintable,
                 Crlf({"", "<html><img src=3D\"img/logo.gif\">", "</html>", ""}), true},
                {"http://site/dir/img/logo.gif", meBase64, Crlf({"", "R0lGODlh", ""}), false},
            }));
}

TEST(MhtReader, HeaderNamesInAnyCaseAndLocationsDecoded) {
  Walk walk = WalkText(Crlf({
      "CONTENT-TYPE: Multipart/Related; BOUNDARY='b1'; TYPE=\"text/html\"",
      "",
      "--B1",
      "content-type: TEXT/HTML",
      "CONTENT-TRANSFER-ENCODING: Quoted-Printable",
      "CONTENT-LOCATION: page.htm",
      "",
      "p",
      "--b1",
      "Content-type: IMAGE/JPEG",
      "Content-transfer-encoding: BASE64",
      "content-location:   my%20pic.JPG  ",
      "",
      "QUJD",
      "--b1--",
      "",
      "",
  }));
  ASSERT_EQ(walk.parts.size(), 2u);
  EXPECT_EQ(walk.parts[0].encoding, meQuotedPrintable);
  EXPECT_EQ(walk.parts[1].location, "my pic.JPG");
  EXPECT_EQ(walk.parts[1].encoding, meBase64);
}

TEST(MhtReader, PartKindsAndEncodings) {
  // application parts are never handed over, not even as the page; audio counts as text;
  // every encoding other than quoted-printable is base64.
  Walk walk = WalkText(Crlf({
      "Content-Type: multipart/related; boundary=\"q\"; type=\"text/html\"",
      "--q",
      "Content-Type: application/octet-stream",
      "Content-Transfer-Encoding: base64",
      "Content-Location: a.htm",
      "",
      "xx",
      "--q",
      "Content-Type: audio/basic",
      "Content-Transfer-Encoding: 7bit",
      "Content-Location: s.htm",
      "",
      "yy",
      "--q",
      "Content-Type: image/png",
      "Content-Transfer-Encoding: 8bit",
      "Content-Location: p.png?v=2",
      "",
      "zz",
      "--q",
      "Content-Type: image/png",
      "Content-Location: c.png",
      "Content-Transfer-Encoding: base64",
      "",
      "ww",
      "--q--",
      "",
      "",
  }));
  // The query makes p.png?v=2 no resource; c.png's fields are read in any order. Only
  // quoted-printable and base64 name a decoding: 7bit and 8bit bodies stand as they are.
  EXPECT_EQ(walk.parts, (std::vector<Handed>{{"s.htm", meRaw, Crlf({"", "yy"}), true},
                                             {"c.png", meBase64, Crlf({"", "ww"}), false}}));
}

TEST(MhtReader, RootTypeDecidesWhetherAPageIsPending) {
  std::string parts = Crlf({
      "--x",
      "Content-Type: image/gif",
      "Content-Transfer-Encoding: base64",
      "Content-Location: a.gif",
      "",
      "R0lG",
      "--x--",
      "",
      "",
  });
  EXPECT_TRUE(
      WalkText(Crlf({"Content-Type: multipart/related; boundary=\"x\"; type=\"text/html\""}) +
               parts)
          .parts.at(0)
          .page);
  EXPECT_FALSE(WalkText(Crlf({"Content-Type: multipart/alternative; boundary=\"x\"; "
                              "type=\"multipart/alternative\""}) +
                        parts)
                   .parts.at(0)
                   .page);
}

// Parts after the root's header block; the page body holds a type= with a quoted value.
const std::string kTypeInBody = Crlf({
    "--q7",
    "Content-Type: text/html",
    "Content-Transfer-Encoding: quoted-printable",
    "Content-Location: http://h/p.htm",
    "",
    "<link type=3D\"text/css\" href=3D\"s.css\">",
    "--q7",
    "Content-Type: text/css",
    "Content-Transfer-Encoding: quoted-printable",
    "Content-Location: http://h/s.css",
    "",
    "b{}",
    "--q7--",
    "",
    "",
});

TEST(MhtReader, TypeParameterComesFromTheRootHeaderBlockOnly) {
  // Before the boundary, after it, or not there at all: a type=3D"..." in the page body is
  // never read as the root's, and the page is the first part.
  for (std::string_view root :
       {"Content-Type: multipart/related; type=\"text/html\";|\tboundary=\"q7\"",
        "Content-Type: multipart/related;|\ttype=\"text/html\";|\tboundary=\"q7\"",
        "Content-Type: multipart/related; boundary=\"q7\"",
        "Content-Type: multipart/related;|\tboundary=\"q7\"|X-Other: 1"}) {
    std::string head;
    for (char c : root) c == '|' ? void(head += "\r\n") : void(head += c);
    Walk walk = WalkText(head + "\r\n" + kTypeInBody);
    EXPECT_EQ(walk.parts, (std::vector<Handed>{
                              {"http://h/p.htm", meQuotedPrintable,
                               Crlf({"", "<link type=3D\"text/css\" href=3D\"s.css\">"}), true},
                              {"http://h/s.css", meQuotedPrintable, Crlf({"", "b{}"}), false}}))
        << root;
  }
  // A multipart type in the root's block leaves the page to a nested list.
  EXPECT_FALSE(WalkText(Crlf({"Content-Type: multipart/mixed;", "\ttype=\"multipart/alternative\";",
                              "\tboundary=\"q7\""}) +
                        kTypeInBody)
                   .parts.at(0)
                   .page);
}

TEST(MhtReader, DelimiterRules) {
  // No quotes: no delimiter, the archive is to be saved whole.
  EXPECT_FALSE(WalkText(Crlf({"Content-Type: multipart/related; boundary=abc", "--abc"})).walked);
  // Quotes may be mixed; an empty quoted delimiter matches no line.
  EXPECT_EQ(WalkText(Crlf({"Content-Type: multipart/mixed; boundary=\"m'", "--m",
                           "Content-Type: text/plain", "Content-Transfer-Encoding: base64", "", "",
                           "QQ==", "--m--", "", ""}))
                .parts.size(),
            1u);
  Walk empty = WalkText(Crlf({"Content-Type: multipart/mixed; boundary=\"\"", "--",
                              "Content-Type: text/plain", "", "", "", "x", "", ""}));
  EXPECT_TRUE(empty.walked);
  EXPECT_TRUE(empty.parts.empty());
  // A delimiter line among the last two lines starts no part.
  EXPECT_TRUE(WalkText(Crlf({"Content-Type: multipart/mixed; boundary=\"z\"", "", "--z",
                             "Content-Type: text/plain"}))
                  .parts.empty());
  // A bare delimiter line ends the archive (no closing hyphens, no final line break), in
  // another letter case than the declared one: it still ends the last part. Delimiters that
  // start with a letter and with another byte are searched for in different ways.
  for (auto [declared, last] : {std::pair<std::string, std::string>{"Zq", "--zQ"},
                                {"Zq", "--Zq"},
                                {"=_Zq", "--=_zQ"},
                                {"=_Zq", "--=_Zq"}}) {
    Walk bare = WalkText(
        "Content-Type: multipart/mixed; boundary=\"" + declared + "\"\r\n\r\n--" + declared +
        "\r\nContent-Type: text/plain\r\nContent-Location: a.txt\r\n\r\nbody\r\n" + last);
    ASSERT_EQ(bare.parts.size(), 1u) << last;
    EXPECT_EQ(bare.parts[0].body, "\r\nbody\r\n") << last;
  }
}

// A delimiter is a line of its own: "--", the boundary in any letter case, "--" to close,
// blanks after it. A body line that merely holds the boundary is text, however short and
// common the boundary is. Without a transfer encoding a part stands as it is.
TEST(MhtReader, DelimitersBeginLinesAndPartsWithoutEncodingStandAsTheyAre) {
  struct Case {
    std::string boundary;
    std::vector<std::string> body;  // the page part's lines
  } cases[] = {
      {"IN", {"<p>inner text</p>", "LINE --IN", " --IN", "--INNER", "---IN", "--IN-"}},
      {"b", {"a b c", "<b>bold</b>", "--bx", "--b---", "-- b"}},
      {"=_x", {"a=_x", "--=_x y", "--=_xx--"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines = {
        "Content-Type: multipart/related; boundary=\"" + c.boundary + "\"; type=\"text/html\"",
        "", "--" + c.boundary, "Content-Type: text/html", "Content-Location: p.htm", ""};
    lines.insert(lines.end(), c.body.begin(), c.body.end());
    // Delimiters in another letter case, with blanks after them, and the close delimiter.
    const std::vector<std::string> rest = {"--" + AsciiLowerCase(c.boundary) + " \t",
                                           "Content-Type: image/gif",
                                           "Content-Location: i.gif",
                                           "",
                                           "<table width=\"1\">",
                                           "--" + c.boundary + "-- ",
                                           "epilogue",
                                           ""};
    lines.insert(lines.end(), rest.begin(), rest.end());
    auto joined = [](const std::vector<std::string>& list) {
      std::string text;
      for (const std::string& line : list) text += line + "\r\n";
      return text;
    };
    Walk walk = WalkText(joined(lines));
    std::vector<std::string> page = {""};
    page.insert(page.end(), c.body.begin(), c.body.end());
    EXPECT_EQ(walk.parts, (std::vector<Handed>{{"p.htm", meRaw, joined(page), true},
                                               {"i.gif", meRaw, Crlf({"", "<table width=\"1\">"}),
                                                false}}))
        << c.boundary;
  }
}

TEST(MhtReader, NestedListKeepsTheOuterDelimiter) {
  Walk walk = WalkText(Crlf({
      "Content-Type: multipart/mixed; boundary=\"outer\"",
      "",
      "--outer",
      "Content-Type: multipart/alternative; boundary=\"inner\"",
      "",
      "--inner",
      "Content-Type: text/plain",
      "Content-Transfer-Encoding: quoted-printable",
      "",
      "plain",
      "--inner",
      "Content-Type: text/html",
      "Content-Transfer-Encoding: quoted-printable",
      "",
      "<b>html</b>",
      "--inner--",
      "",
      "--outer",
      "Content-Type: image/gif",
      "Content-Transfer-Encoding: base64",
      "Content-Location: pic.gif",
      "",
      "R0lG",
      "--outer--",
      "",
  }));
  // The mail's text/plain part becomes the page, its body from the empty line on; text/html
  // has no resource name; after the inner list the outer delimiter still ends the image.
  EXPECT_EQ(walk.parts, (std::vector<Handed>{
                            {"", meQuotedPrintable, Crlf({"", "plain"}), true},
                            {"pic.gif", meBase64, Crlf({"", "R0lG"}), false},
                        }));
  // Deeply nested lists: the latest list and the root's still delimit parts.
  std::string deep = Crlf({"Content-Type: multipart/mixed; boundary=\"root\"", "", "--root"});
  for (int level = 0; level < 40; ++level) {
    std::string inner = "n" + std::to_string(level) + "z";
    deep +=
        Crlf({"Content-Type: multipart/alternative; boundary=\"" + inner + "\"", "", "--" + inner});
  }
  deep += Crlf({"Content-Type: text/plain", "", "deep", "--n39z--", "--root",
                "Content-Type: image/gif", "Content-Transfer-Encoding: base64",
                "Content-Location: d.gif", "", "R0lG", "--root--", ""});
  EXPECT_EQ(WalkText(deep).parts,
            (std::vector<Handed>{{"", meRaw, Crlf({"", "deep"}), true},
                                 {"d.gif", meBase64, Crlf({"", "R0lG"}), false}}));
}

TEST(MhtReader, SinglePartDocuments) {
  // The body follows the header block's empty line, whatever the block holds and in which
  // order; a file that begins with text has no header block and is all body.
  struct Case {
    std::vector<std::string_view> lines;
    Handed part;
  } cases[] = {
      {{"Subject: hi", "Content-Type: text/plain", "Content-Transfer-Encoding: quoted-printable",
        "", "first", "second"},
       {"", meQuotedPrintable, Crlf({"first", "second"}), true}},
      {{"From: a@b", "Subject: no MIME at all", "", "Hello", "", "World"},
       {"", meRaw, Crlf({"Hello", "", "World"}), true}},
      {{"MIME-Version: 1.0", "Content-Transfer-Encoding: 8bit", "Content-Location: x/y.htm",
        "Content-Type: text/plain;", "\tcharset=gb2312", "", "caf\xe9"},
       {"x/y.htm", meRaw, Crlf({"caf\xe9"}), true}},
      {{"From someone Mon Jan  1 00:00:00 2024", "Content-Type: text/html",
        "Content-Transfer-Encoding: base64", "", "PGI+"},
       {"", meBase64, Crlf({"PGI+"}), true}},
      {{"a", "Content-Location: x/y.htm", "b", "c"},
       {"", meRaw, Crlf({"a", "Content-Location: x/y.htm", "b", "c"}), true}},
      {{"Content-Type: text/html", "Content-Transfer-Encoding: quoted-printable"},
       {"", meQuotedPrintable, "", true}},
      // A text that names a field after other words is no header: every line is body.
      {{"Notes", "see the content-type: text/html line", "Content-Type: text/plain", "end"},
       {"", meRaw,
        Crlf({"Notes", "see the content-type: text/html line", "Content-Type: text/plain", "end"}),
        true}},
  };
  for (const Case& c : cases) {
    std::string text;
    for (std::string_view line : c.lines) (text += line) += "\r\n";
    EXPECT_EQ(WalkText(text).parts, std::vector<Handed>{c.part}) << text;
  }
  // Nothing after the Content-Type line, or nothing at all: the import fails.
  EXPECT_THROW(WalkText(""), MhtError);
  EXPECT_THROW(WalkText("Content-Type: text/html"), MhtError);
}

// The layouts other programs write, as (location, encoding, page) of every part handed over.
TEST(MhtReader, ProducerLayouts) {
  struct Summary {
    std::string location;
    TMhtEncoding encoding;
    bool page;
    bool operator==(const Summary&) const = default;
  };
  struct Case {
    std::string_view name;
    std::vector<std::string_view> lines;
    std::vector<Summary> parts;
  } cases[] = {
      {"browser save: binary parts, type= before the boundary, Content-ID between",
       {"From: <Saved by a browser>",
        "Snapshot-Content-Location: https://ex.com/a/",
        "MIME-Version: 1.0",
        "Content-Type: multipart/related;",
        "\ttype=\"text/html\";",
        "\tboundary=\"----Multi--q1----\"",
        "",
        "",
        "------Multi--q1----",
        "Content-Type: text/html",
        "Content-ID: <frame-0@x>",
        "Content-Transfer-Encoding: binary",
        "Content-Location: https://ex.com/a/",
        "",
        "<link rel=stylesheet type=\"text/css\" href=\"s.css\">",
        "------Multi--q1----",
        "Content-Type: text/css",
        "Content-Transfer-Encoding: binary",
        "Content-Location: https://ex.com/a/s.css",
        "",
        "b{}",
        "------Multi--q1----",
        "Content-Type: image/png",
        "Content-Transfer-Encoding: binary",
        "Content-Location: https://ex.com/a/i.png",
        "",
        "\x89PNG",
        "------Multi--q1------",
        ""},
       {{"https://ex.com/a/", meRaw, true},
        {"https://ex.com/a/s.css", meRaw, false},
        {"https://ex.com/a/i.png", meRaw, false}}},
      {"office single-file page: location first, no type=",
       {"MIME-Version: 1.0", "Content-Type: multipart/related; boundary=\"----=_NextPart_01D9.1\"",
        "", "This document is a Single File Web Page.", "", "------=_NextPart_01D9.1",
        "Content-Location: file:///C:/D/page.htm", "Content-Transfer-Encoding: quoted-printable",
        "Content-Type: text/html; charset=\"us-ascii\"", "",
        "<link type=3D\"text/css\" href=3D\"x.css\">", "------=_NextPart_01D9.1",
        "Content-Location: file:///C:/D/page_files/image001.png",
        "Content-Transfer-Encoding: base64", "Content-Type: image/png", "", "iVBO",
        "------=_NextPart_01D9.1--", ""},
       {{"file:///C:/D/page.htm", meQuotedPrintable, true},
        {"file:///C:/D/page_files/image001.png", meBase64, false}}},
      {"mail: nested alternatives, then two attachments",
       {"From: a@b",
        "MIME-Version: 1.0",
        "Content-Type: multipart/mixed; boundary=\"out\"",
        "",
        "--out",
        "Content-Type: multipart/alternative;",
        " boundary=\"alt\"",
        "",
        "--alt",
        "Content-Type: text/plain; charset=utf-8",
        "Content-Transfer-Encoding: 7bit",
        "",
        "hi",
        "--alt",
        "Content-Type: text/html",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "<b>hi</b>",
        "--alt--",
        "",
        "--out",
        "Content-Type: image/gif; name=a.gif",
        "Content-Disposition: attachment",
        "Content-Transfer-Encoding: base64",
        "Content-Location: a.gif",
        "",
        "R0lG",
        "--out",
        "Content-Location: b.jpg",
        "Content-Type: image/jpeg",
        "Content-Transfer-Encoding: base64",
        "",
        "/9j/",
        "--out--",
        ""},
       {{"", meRaw, true}, {"a.gif", meBase64, false}, {"b.jpg", meBase64, false}}},
  };
  for (const Case& c : cases) {
    std::string text;
    for (std::string_view line : c.lines) (text += line) += "\r\n";
    std::vector<Summary> parts;
    for (const Handed& h : WalkText(text).parts) parts.push_back({h.location, h.encoding, h.page});
    EXPECT_EQ(parts, c.parts) << c.name;
  }
}

// Lines that mention a field name without being the field: a signature's list of signed
// fields before the root's Content-Type, a part header of that kind, a body line.
TEST(MhtReader, ContentTypeIsTheFieldNotAMention) {
  const std::string mail = Crlf({
      "DKIM-Signature: v=1; a=rsa-sha256; d=example.com; s=s1;",
      "\th=from:to:subject:mime-version:content-type; bh=AbC=;",
      "\tb=XyZ",
      "X-Content-Type-Options: nosniff",
      "From: a@example.com",
      "MIME-Version: 1.0",
      "Content-Type : multipart/alternative; boundary=\"alt\"",
      "",
      "--alt",
      "X-Original-Content-Type: application/x-whatever",
      "Content-Type: text/html; charset=utf-8",
      "",
      "<p>signed</p>",
      "--alt--",
      "",
  });
  EXPECT_EQ(WalkText(mail).parts,
            (std::vector<Handed>{{"", meRaw, Crlf({"", "<p>signed</p>"}), true}}));
  // A mail without MIME fields whose body quotes one is one text part; so is a body that
  // begins with a line of its own. A mailbox's "From " line before the headers is passed over.
  EXPECT_EQ(WalkText(Crlf({"From: a@b", "Subject: quoted", "",
                           "Content-Type: multipart/mixed;"
                           " boundary=\"q\"",
                           "--q", "x", "--q--", ""}))
                .parts.at(0)
                .body,
            Crlf({"Content-Type: multipart/mixed; boundary=\"q\"", "--q", "x", "--q--", ""}));
  EXPECT_EQ(WalkText("From a@b Mon Jan  1 00:00:00 2024\r\n" + mail).parts.size(), 1u);
  EXPECT_EQ(WalkText("\xEF\xBB\xBF" + mail).parts.size(), 1u);
}

// Which part becomes the page, for the layouts that mail programs write: as (location or
// first body line) of the parts handed over as the page, in order.
TEST(MhtReader, LaterListsReplaceThePageOnlyAmongItsAlternatives) {
  auto text = [](std::string_view type, std::string_view body) {
    return Crlf({"Content-Type: " + std::string(type), "", std::string(body)});
  };
  auto list = [](std::string_view type, std::string_view delimiter,
                 std::initializer_list<std::string> parts) {
    std::string out = Crlf({"Content-Type: multipart/" + std::string(type) + "; boundary=\"" +
                                std::string(delimiter) + "\"",
                            ""});
    for (const std::string& part : parts) out += "--" + std::string(delimiter) + "\r\n" + part;
    return out + "--" + std::string(delimiter) + "--\r\n";
  };
  auto pages = [](const std::string& archive) {
    std::vector<std::string> found;
    for (const Handed& h : WalkText(archive + "\r\n\r\n").parts)
      if (h.page) found.push_back(SplitLines(h.body).at(1));
    return found;
  };
  const std::string footer = list(
      "alternative", "ft", {text("text/plain", "The footer"), text("text/html", "<p>The footer")});
  const std::string related =
      list("related", "rel",
           {text("text/html", "<p>Body"),
            Crlf({"Content-Type: image/png", "Content-ID: <p@x>", "", "iVBO"})});
  // The HTML after the plain text, in a list of its own inside the alternatives: replaces it.
  EXPECT_EQ(pages(list("alternative", "alt", {text("text/plain", "Body"), related})),
            (std::vector<std::string>{"Body", "<p>Body"}));
  // A footer's alternatives after the message's: the message stays the page.
  EXPECT_EQ(pages(list("mixed", "mix",
                       {list("alternative", "alt",
                             {text("text/plain", "Body"), text("text/html", "<p>Body")}),
                        footer})),
            std::vector<std::string>{"Body"});
  // A body in the outer list, then a footer's or a digest's list: the body stays.
  EXPECT_EQ(pages(list("mixed", "mix", {text("text/plain", "Body"), footer})),
            std::vector<std::string>{"Body"});
  EXPECT_EQ(pages(list("mixed", "mix",
                       {text("text/plain", "Body"),
                        list("digest", "dg", {text("text/plain", "First message")})})),
            std::vector<std::string>{"Body"});
  // A forwarded message after the body, its own list inside: the body stays.
  EXPECT_EQ(pages(list("mixed", "mix",
                       {text("text/plain", "Body"),
                        Crlf({"Content-Type: message/rfc822", "", "Subject: fwd"}) +
                            list("mixed", "fw", {text("text/plain", "Forwarded"), footer})})),
            std::vector<std::string>{"Body"});
  // Before any page is written, a nested list still gives the page.
  EXPECT_EQ(pages(list("mixed", "mix", {list("alternative", "alt", {related})})),
            std::vector<std::string>{"<p>Body"});
  // A root whose type= names a list of alternatives leaves the page to that list: its HTML
  // part, which has no location, is the page.
  const std::string alternatives = list("alternative", "alt", {text("text/html", "<p>Html")});
  EXPECT_EQ(
      pages("Content-Type: multipart/related; boundary=\"rel\"; "
            "type=\"multipart/alternative\"\r\n\r\n--rel\r\n" +
            alternatives + "--rel\r\n" +
            Crlf({"Content-Type: image/png", "Content-ID: <p@x>", "", "iVBO"}) + "--rel--\r\n"),
      std::vector<std::string>{"<p>Html"});
}

// Parts that the reader does not keep are handed over too, with the fields that name them.
TEST(MhtReader, EveryPartComesWithItsNames) {
  TMhtArchive archive(Crlf({
      "Content-Type: multipart/related; boundary=\"r7q\"; type=\"text/html\"",
      "",
      "--r7q",
      "Content-Type: text/html",
      "",
      "<img src=\"cid:a@x\">",
      "--r7q",
      "Content-Type: application/octet-stream;",
      "\tname=\"=?UTF-8?Q?caf=C3=A9?=",
      " .png\"",
      "Content-Id:  <a@x> ",
      "Content-Disposition: inline",
      "Content-Transfer-Encoding: base64",
      "",
      "iVBO",
      "--r7q",
      "Content-Type: text/css",
      "Content-Location: cid:css-1@mhtml.blink",
      "",
      "p{}",
      "--r7q--",
      "",
  }));
  std::vector<TMhtPart> parts;
  WalkMhtArchive(
      archive,
      [&](const TMhtPart& part, bool& pending) {
        parts.push_back(part);
        pending = false;
      },
      nullptr);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_TRUE(parts[0].Kept);
  EXPECT_FALSE(parts[1].Kept);
  EXPECT_FALSE(parts[2].Kept);
  EXPECT_EQ(parts[1].Kind, mkApplication);
  EXPECT_EQ(parts[1].Position, 2u);
  EXPECT_EQ(parts[1].ContentId, "a@x");
  EXPECT_EQ(parts[1].ContentType, "application/octet-stream;\tname=\"=?UTF-8?Q?caf=C3=A9?= .png\"");
  EXPECT_EQ(parts[1].ContentDisposition, "inline");
  EXPECT_EQ(MhtBodyText(parts[1].Body), Crlf({"", "iVBO"}));
  EXPECT_EQ(parts[2].Location, "cid:css-1@mhtml.blink");
}

TEST(MhtReader, WalkMovesOnWhenNoHeaderFollows) {
  // A closing delimiter line followed by lines without headers: skipped, and the walk ends.
  // No page pending, so the header-less parts are tested for a resource name and skipped.
  Walk walk = WalkText(Crlf({"Content-Type: multipart/mixed; boundary=\"z\"; type=\"multipart/x\"",
                             "--z", "a", "b", "--z", "c", "d", "e"}));
  EXPECT_TRUE(walk.walked);
  EXPECT_TRUE(walk.parts.empty());
}

// Mail forwarded as an attachment stands for the message it encloses: the walk over it is the
// walk over that message alone, with its own delimiters and positions.
TEST(MhtReader, ForwardedMessagesAreReadAsTheMessage) {
  const std::string inner =
      Crlf({"From: a@example.com", "MIME-Version: 1.0",
            "Content-Type: multipart/related; boundary=\"in-1\"; type=\"text/html\"", "", "--in-1",
            "Content-Type: text/html", "Content-Location: http://s/p.htm", "", "<p>inner</p>",
            "--in-1", "Content-Type: image/gif", "Content-Transfer-Encoding: base64",
            "Content-Location: http://s/a.gif", "", "R0lGODlh", "--in-1--", ""});
  const std::string quotedInner = Crlf(
      {"From: a@example.com",
       "Content-Type: multipart/related; boundary=3D\"in-1\"; =", "type=3D\"text/html\"", "",
       "--in-1", "Content-Type: text/html", "Content-Location: http://s/p.htm", "", "<p>inner</p>",
       "--in-1", "Content-Type: image/gif", "Content-Transfer-Encoding: base64",
       "Content-Location: http://s/a.gif", "", "R0lGODlh", "--in-1--"});
  auto mixed = [](std::initializer_list<std::string_view> parts) {
    std::string text = Crlf({"From: b@example.com", "MIME-Version: 1.0",
                             "Content-Type: multipart/mixed; boundary=\"=_fw7\"", ""});
    for (std::string_view part : parts) text += "--=_fw7\r\n" + std::string(part) + "\r\n";
    return text + "--=_fw7--\r\n";
  };
  const std::string emptyNote = "Content-Type: text/plain\r\n\r\n \r\n";
  const std::string enclosed = "Content-Type: message/rfc822\r\n\r\n" + inner;
  auto root = [](std::string_view headers, std::string_view body) {
    return Crlf({"From: b@example.com", "Subject: Fwd: page"}) + std::string(headers) + "\r\n\r\n" +
           std::string(body);
  };
  const Walk innerWalk = WalkText(inner);
  ASSERT_EQ(innerWalk.parts.size(), 2u);
  ASSERT_TRUE(innerWalk.parts[0].page);
  struct Case {
    std::string name, archive;
    bool forwarded;
  } cases[] = {
      {"root", root("Content-Type: message/rfc822", inner), true},
      {"root, base64",
       root("Content-Type: Message/RFC822; x=1\r\nContent-Transfer-Encoding: "
            "BASE64",
            Base64Encode(inner)),
       true},
      {"root, quoted-printable",
       root("Content-Type: message/rfc822\r\nContent-Transfer-Encoding: quoted-printable",
            quotedInner),
       true},
      {"after an empty note", mixed({emptyNote, enclosed}), true},
      {"first, then a note", mixed({enclosed, "Content-Type: text/plain\r\n\r\nnote"}), true},
      {"twice over", root("Content-Type: message/rfc822", mixed({emptyNote, enclosed})), true},
      // A note with text, a picture first, or an HTML part anywhere: the mail's own page.
      {"after a note", mixed({"Content-Type: text/plain\r\n\r\nnote", enclosed}), false},
      {"after a picture", mixed({"Content-Type: image/gif\r\n\r\nGIF", enclosed}), false},
      {"with HTML after it", mixed({emptyNote, enclosed, "Content-Type: text/html\r\n\r\n<p>"}),
       false},
      {"blank", root("Content-Type: message/rfc822", " \r\n\r\n"), false},
  };
  for (const Case& c : cases) {
    const Walk walk = WalkMessage(c.archive);
    EXPECT_EQ(walk.parts, c.forwarded ? innerWalk.parts : WalkText(c.archive).parts) << c.name;
  }
  // At most kMaxForwardDepth messages are opened, one inside the other.
  std::vector<std::string> levels{inner};
  for (int k = 0; k <= kMaxForwardDepth; ++k)
    levels.push_back(root("Content-Type: message/rfc822", levels.back()));
  EXPECT_EQ(WalkMessage(levels[kMaxForwardDepth]).parts, innerWalk.parts);
  const Walk deepest = WalkMessage(levels[kMaxForwardDepth + 1]);
  // The message's bytes end before the line break that closes the part holding them.
  EXPECT_EQ(deepest.parts, WalkText(levels[1].substr(0, levels[1].size() - 2)).parts);
  EXPECT_NE(deepest.parts, innerWalk.parts);
}

TEST(MhtReader, LinesSplitAtEveryKindOfBreak) {
  TMhtArchive archive(std::string("a\rb\nc\r\n\r\rd\r\n"));
  std::vector<std::string_view> lines;
  std::vector<size_t> starts;
  for (TMhtArchive::Pos pos = 0; archive.IsLine(pos); pos = archive.Next(pos)) {
    lines.push_back(archive.Line(pos));
    starts.push_back(pos);
  }
  EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "b", "c", "", "", "d"}));
  EXPECT_EQ(archive.Advance(0, 6), archive.Size());
  EXPECT_EQ(archive.FindLine("d", 0), starts[5]);
  EXPECT_EQ(archive.FindLine("C", 0), TMhtArchive::npos);  // needles are lower-case
  EXPECT_EQ(archive.FindLine("b", starts[2]), TMhtArchive::npos);
  EXPECT_THROW(archive.Line(archive.Size()), MhtError);
  // A long line without a break, and breaks at every offset of an eight-byte word.
  for (size_t at = 0; at < 20; ++at) {
    std::string text(40, 'x');
    text[at] = '\n';
    text[at + 9] = '\r';
    TMhtArchive split(text);
    EXPECT_EQ(split.Line(0).size(), at) << at;
    EXPECT_EQ(split.Line(split.Next(0)).size(), 8u) << at;
  }
  EXPECT_EQ(TMhtArchive(std::string(100, '\t')).Line(0).size(), 100u);
}

TEST(MhtReader, SavedPageLayoutMatchesTheReaderModel) {
  std::mt19937 random(5);
  size_t handedOver = 0, pages = 0, single = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::string text = SavedPageLayoutArchive(random);
    Walk expected = ReferenceReader(text).Run();
    Walk actual = WalkText(text);
    ASSERT_EQ(actual.walked, expected.walked) << round << "\n" << text;
    ASSERT_EQ(actual.parts, expected.parts) << round << "\n" << text;
    handedOver += expected.parts.size();
    pages += std::count_if(expected.parts.begin(), expected.parts.end(),
                           [](const Handed& h) { return h.page; });
    single += text.find("multipart") == std::string::npos;
  }
  // The generator must reach the interesting paths, or the comparison proves little.
  EXPECT_GT(handedOver, 5000u);
  EXPECT_GT(pages, 2000u);
  EXPECT_GT(single, 400u);
}

}  // namespace
}  // namespace lorvex
