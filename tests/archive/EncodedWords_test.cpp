#include "archive/EncodedWords.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <string>

#include "archive/PartHeaders.h"
#include "platform/Charset.h"
#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {
namespace {

// A conversion that knows three character sets: "utf-8" passes its bytes as they are,
// "us-ascii" too but fails on a byte above 127, "x-up" upper-cases them; any other set fails.
bool TestConversion(std::string_view charset, std::string_view bytes, std::string& out) {
  out.assign(bytes);
  if (EqualsIgnoreCase(charset, "utf-8")) return true;
  if (EqualsIgnoreCase(charset, "us-ascii"))
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 128; });
  if (!EqualsIgnoreCase(charset, "x-up")) return false;
  for (char& c : out) c = AsciiUpper(c);
  return true;
}

TEST(EncodedWords, DecodeTable) {
  struct Case {
    std::string_view in;
    bool ok;
    std::string_view out;
  } cases[] = {
      {"plain.png", true, "plain.png"},
      {"=?UTF-8?Q?caf=C3=A9.png?=", true, "caf\xc3\xa9.png"},
      {"=?utf-8?q?a_b=3F?=", true, "a b?"},
      {"=?UTF-8?B?5Lit5paH?=.png", true, "\xe4\xb8\xad\xe6\x96\x87.png"},
      {"=?UTF-8?B?YQ==?=", true, "a"},
      {"=?UTF-8?B?YWI?=", true, "ab"},  // the last quantum without its padding
      // Adjacent words: the blanks between them go; blanks before ordinary text stay.
      {"=?UTF-8?Q?a?= =?UTF-8?Q?b?=\t =?UTF-8?Q?c?= d", true, "abc d"},
      {"x =?UTF-8?Q?a?=", true, "x a"},
      // A character split between two words in one set is joined before conversion.
      {"=?x-up?Q?=E4=B8?= =?x-up?Q?=AD?=", true, "\xe4\xb8\xad"},
      {"=?x-up?Q?ab?= =?us-ascii?Q?cd?=", true, "ABcd"},
      {"=?UTF-8*en?Q?lang?=", true, "lang"},
      // Malformed words stay as they are.
      {"=?UTF-8?Q?bad=ZZ?=", true, "=?UTF-8?Q?bad=ZZ?="},
      {"=?UTF-8?Q?cut=4?=", true, "=?UTF-8?Q?cut=4?="},
      {"=?UTF-8?B?Y*==?=", true, "=?UTF-8?B?Y*==?="},
      {"=?UTF-8?B?YQ=?=", true, "=?UTF-8?B?YQ=?="},
      {"=?UTF-8?B?Y?=", true, "=?UTF-8?B?Y?="},
      {"=?UTF-8?X?abc?=", true, "=?UTF-8?X?abc?="},
      {"=??Q?abc?=", true, "=??Q?abc?="},
      {"=?UTF-8?Q?a b?=", true, "=?UTF-8?Q?a b?="},
      {"=?UTF-8?Q?open", true, "=?UTF-8?Q?open"},
      {"=?", true, "=?"},
      {"=?UTF-8?Q?", true, "=?UTF-8?Q?"},
      {"=?=?UTF-8?Q?x?=", true, "=?x"},
      // An encoded word whose set cannot be converted fails the whole text.
      {"=?x-none?Q?a?=.png", false, ""},
      {"ok =?x-none?B?YQ==?=", false, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(DecodeEncodedWords(c.in, TestConversion, out), c.ok) << c.in;
    if (c.ok) EXPECT_EQ(out, c.out) << c.in;
  }
}

// The platform's conversion to the names the import writes: UTF-8 natively, the ANSI code
// page in the DLL, where a character it lacks means no conversion.
TEST(EncodedWords, PlatformConversion) {
  const std::string_view chinese = "\xd6\xd0\xce\xc4";  // two characters in gb2312
  std::string out;
  EXPECT_FALSE(platform::ConvertToFileNameText("x-unknown", "a", out));
  EXPECT_FALSE(platform::ConvertToFileNameText("utf-8//IGNORE", "a", out));
  EXPECT_FALSE(platform::ConvertToFileNameText("utf-8", "\xff", out));
  EXPECT_FALSE(platform::ConvertToFileNameText("utf-8", "caf\xc3", out));
  ASSERT_TRUE(platform::ConvertToFileNameText("US-ASCII", "a.png", out));
  EXPECT_EQ(out, "a.png");
  // Set names compare in any letter case: adjacent words in "UTF-8" and "utf-8" are joined
  // before conversion, so the character split between them survives.
  std::string whole;
  ASSERT_TRUE(platform::ConvertToFileNameText("utf-8", "caf\xc3\xa9.png", whole));
  ASSERT_TRUE(DecodeEncodedWords(
      "=?UTF-8?Q?caf=C3?= =?utf-8?Q?=A9.png?=", platform::ConvertToFileNameText, out));
  EXPECT_EQ(out, whole);
  // Output that outgrows the first buffer (curly quotes: one byte in, three in UTF-8) goes on
  // where it stopped.
  std::string quotes, utf8Quotes;
  for (int k = 0; k < 40; ++k) {
    quotes += "\x93\x94";
    utf8Quotes += "\xe2\x80\x9c\xe2\x80\x9d";
  }
  ASSERT_TRUE(platform::ConvertToFileNameText("windows-1252", "x" + quotes, out));
#ifdef _WIN32
  if (::GetACP() == 1252) EXPECT_EQ(out, "x" + quotes);
  if (::GetACP() == CP_UTF8) EXPECT_EQ(out, "x" + utf8Quotes);
#else
  EXPECT_EQ(out, "x" + utf8Quotes);
#endif
#ifdef _WIN32
  const UINT ansi = ::GetACP();
  if (ansi == 1252) {
    ASSERT_TRUE(platform::ConvertToFileNameText("utf-8", "caf\xc3\xa9", out));
    EXPECT_EQ(out, "caf\xe9");
    EXPECT_FALSE(platform::ConvertToFileNameText("gb2312", chinese, out));
  } else if (ansi == 936) {
    ASSERT_TRUE(platform::ConvertToFileNameText("GB2312", chinese, out));
    EXPECT_EQ(out, chinese);
  }
#else
  ASSERT_TRUE(platform::ConvertToFileNameText("utf-8", "caf\xc3\xa9", out));
  EXPECT_EQ(out, "caf\xc3\xa9");
  ASSERT_TRUE(platform::ConvertToFileNameText("GB2312", chinese, out));
  EXPECT_EQ(out, "\xe4\xb8\xad\xe6\x96\x87");
  ASSERT_TRUE(platform::ConvertToFileNameText("iso-8859-1", "\xe9", out));
  EXPECT_EQ(out, "\xc3\xa9");
#endif
}

TEST(PartHeaders, ParametersAndDeclaredNames) {
  struct Case {
    std::string_view value, attribute;
    bool found;
    std::string_view out;
  } cases[] = {
      {"image/png; name=\"a b.png\"", "name", true, "a b.png"},
      {"image/png;name=a.png;x=1", "NAME", true, "a.png"},
      {"image/png; filename=a.png", "name", false, ""},
      {"image/png; x=\"; name=fake\"; name = real.png ", "name", true, "real.png"},
      {"attachment; filename=\"q\\\"uote.png\"", "filename", true, "q\"uote.png"},
      {"attachment; filename*=utf-8''a.png", "filename", false, ""},
      {"attachment; filename=\"cut", "filename", true, "cut"},
      {"image/png", "name", false, ""},
      {"", "name", false, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(HeaderParameter(c.value, c.attribute, out), c.found) << c.value;
    EXPECT_EQ(out, c.out) << c.value;
  }
  TMhtPart part;
  std::string name;
  part.ContentType = "image/png; name=\"=?x-up?Q?type?=.png\"";
  part.ContentDisposition = "inline; filename=\"=?x-up?B?ZGlzcA==?=.png\"";
  ASSERT_TRUE(DeclaredFileName(part, TestConversion, name));
  EXPECT_EQ(name, "DISP.png");  // the disposition's filename comes first
  part.ContentDisposition = "inline; filename=\"  \"";
  ASSERT_TRUE(DeclaredFileName(part, TestConversion, name));
  EXPECT_EQ(name, "TYPE.png");
  part.ContentType = "image/png; name==?x-none?Q?a?=";
  EXPECT_FALSE(DeclaredFileName(part, TestConversion, name));

  // Extended values (RFC 2231): Content-Disposition's filename, else Content-Type's name.
  struct Named {
    std::string_view disposition, type;
    bool found;
    std::string_view name;
  } named[] = {
      // Sections joined as bytes, then converted once: a character split between them holds.
      {"inline; filename*0*=UTF-8''%E6%B5; filename*1*=%B7.png", "", true, "\xe6\xb5\xb7.png"},
      {"inline; filename*1*=%B7.png; filename*0*=x-up''a%E6%B5", "", true, "A\xe6\xb5\xb7.PNG"},
      // The extended value wins over the plain one, before it or after it.
      {"inline; filename=\"plain.png\"; filename*=x-up'en'ext.png", "", true, "EXT.PNG"},
      {"inline; FILENAME*=x-up''ext.png; filename=plain.png", "", true, "EXT.PNG"},
      // Sections with and without the percent form; gaps passed over; the first of a number.
      {"a; filename*0*=x-up''a%20; filename*1=\"%41 b\"; filename*3=.png", "", true, "A %41 B.PNG"},
      {"a; filename*0=one; filename*0=two; filename*1=.png", "", true, "one.png"},
      // An empty or unknown set, or none at all: the bytes as they are.
      {"a; filename*=''%E9t%E9.png", "", true, "\xe9t\xe9.png"},
      {"a; filename*=x-none'fr'%E9.png", "", true, "\xe9.png"},
      {"a; filename*=a%20b.png", "", true, "a b.png"},
      {"a; filename*=utf-8''50%.png%2", "", true, "50%.png%2"},
      // No encoded words inside an extended value.
      {"a; filename*=utf-8''=?x-up?Q?a?=.png", "", true, "=?x-up?Q?a?=.png"},
      // Not sections: a leading zero, four digits, letters; the plain value then.
      {"a; filename*01=x; filename*1000=y; filename*x=z; filename=p.png", "", true, "p.png"},
      // A blank extended value gives way to the plain one; then Content-Type's name.
      {"a; filename*=utf-8''%20; filename=p.png", "", true, "p.png"},
      {"attachment", "image/png; name*0*=utf-8''n%C3%A9; name*1=.png", true, "n\xc3\xa9.png"},
      {"a; filename*=utf-8''%20", "image/png; name=\"n.png\"", true, "n.png"},
      // Bytes that a known set cannot convert: no declared name.
      {"a; filename*=us-ascii''%E9.png", "image/png; name=n.png", false, ""},
  };
  for (const Named& c : named) {
    part.ContentDisposition = c.disposition;
    part.ContentType = c.type;
    EXPECT_EQ(DeclaredFileName(part, TestConversion, name), c.found) << c.disposition;
    EXPECT_EQ(name, c.found ? c.name : "") << c.disposition;
  }
  EXPECT_EQ(ExtensionForType("IMAGE/PNG; name=x"), ".png");
  EXPECT_EQ(ExtensionForType("text/html"), ".htm");
  EXPECT_EQ(ExtensionForType("application/pdf"), ".bin");
}

}  // namespace
}  // namespace lorvex
