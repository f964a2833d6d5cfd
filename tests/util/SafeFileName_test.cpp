// The one rule for names that come from a document and become files of the import.
#include "util/SafeFileName.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvex {
namespace {

TEST(SafeFileName, OnlyPlainNamesAreSafe) {
  for (std::string_view name :
       {"logo.gif", "my pic.jpg", "a..b.css", "console.gif", "com10.js", "\xd6\xd0.png", ".gif"})
    EXPECT_TRUE(IsSafeFileName(name)) << name;
  for (std::string_view name :
       {"",         ".",        "..",       "a.gif.",     "a.gif ",     "a<b.gif",
        "a>b.gif",  "a:b.gif",  "a\"b.gif", "a|b.gif",    "a?b.gif",    "a*b.gif",
        "a\\b.gif", "a/b.gif",  "a\tb.gif", "CON",        "con.gif",    "Nul.css",
        "aux .js",  "com1.png", "LPT9.tga", "conin$.gif", "com\xb9.gif"})
    EXPECT_FALSE(IsSafeFileName(name)) << name;
  EXPECT_TRUE(IsSafeFileName(std::string(kMaxFileName - 4, 'x') + ".gif"));
  EXPECT_FALSE(IsSafeFileName(std::string(kMaxFileName - 3, 'x') + ".gif"));
  // The folder and the name together must fit the path limit.
  EXPECT_TRUE(IsSafeFileIn(std::string(kMaxFilePath - 5, 'f'), "a.gif"));
  EXPECT_FALSE(IsSafeFileIn(std::string(kMaxFilePath - 4, 'f'), "a.gif"));
  EXPECT_FALSE(IsSafeFileIn("f/", ".."));
}

}  // namespace
}  // namespace lorvex
