#include "archive/EncodedWords.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

#include "archive/PartHeaders.h"
#include "platform/Charset.h"
#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {
namespace {

// A conversion that knows two character sets: "utf-8" and "us-ascii" pass their bytes as they
// are, "x-up" upper-cases them; any other set fails.
bool TestConversion(std::string_view charset, std::string_view bytes, std::string& out) {
  out.assign(bytes);
  if (EqualsIgnoreCase(charset, "utf-8") || EqualsIgnoreCase(charset, "us-ascii")) return true;
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
  EXPECT_EQ(ExtensionForType("IMAGE/PNG; name=x"), ".png");
  EXPECT_EQ(ExtensionForType("text/html"), ".htm");
  EXPECT_EQ(ExtensionForType("application/pdf"), ".bin");
}

}  // namespace
}  // namespace lorvex
