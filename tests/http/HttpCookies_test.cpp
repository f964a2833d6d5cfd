#include "http/HttpCookies.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

constexpr std::int64_t kNow = 1'800'000'000;  // 2027-01-15

TEST(CookieDates, ReadsTheUsualForms) {
  EXPECT_EQ(ParseCookieDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
  EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), 784111777);
  EXPECT_EQ(ParseCookieDate("Fri, 31 Dec 2100 23:59:59 GMT"), 4133980799);
  EXPECT_EQ(ParseCookieDate("not a date"), std::nullopt);
  EXPECT_EQ(ParseCookieDate("Sun, 32 Nov 1994 08:49:37 GMT"), std::nullopt);
  EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 GMT"), std::nullopt);
  // A run of digits too long for any field is passed over, however long it is.
  EXPECT_EQ(ParseCookieDate("Sun, 5555555555 06 Nov 1994 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 99999999999999999999 08:49:37 GMT"), std::nullopt);
}

TEST(CookieJar, SendsCookiesBackToTheirHostAndPath) {
  HttpCookieJar jar;
  jar.Store("www.example.com", "/docs/page.htm", "a=1", kNow);  // host only, path /docs
  jar.Store("www.example.com", "/", "b=2; Domain=.example.com; Path=/", kNow);
  jar.Store("www.example.com", "/", "c=3; Path=/docs/deep", kNow);
  jar.Store("www.example.com", "/", "s=4; Secure", kNow);
  EXPECT_EQ(jar.CookieHeader("www.example.com", "/docs/x", kNow, false), "a=1; b=2");
  EXPECT_EQ(jar.CookieHeader("www.example.com", "/docs/deep/x", kNow, false), "c=3; a=1; b=2");
  EXPECT_EQ(jar.CookieHeader("WWW.Example.com", "/docsx", kNow, false), "b=2");
  EXPECT_EQ(jar.CookieHeader("img.example.com", "/docs/x", kNow, false), "b=2");
  EXPECT_EQ(jar.CookieHeader("example.com", "/", kNow, false), "b=2");
  EXPECT_EQ(jar.CookieHeader("badexample.com", "/", kNow, false), "");
  EXPECT_EQ(jar.CookieHeader("other.org", "/docs/x", kNow, false), "");
  // Over https the Secure one goes too, in the same order rules.
  EXPECT_EQ(jar.CookieHeader("www.example.com", "/docs/x", kNow, true), "a=1; b=2; s=4");
}

TEST(CookieJar, RefusesForeignAndTopLevelDomains) {
  HttpCookieJar jar;
  jar.Store("www.example.com", "/", "a=1; Domain=other.com", kNow);
  jar.Store("www.example.com", "/", "b=2; Domain=com", kNow);
  jar.Store("www.example.com", "/", "c=3; Domain=w.example.com", kNow);
  jar.Store("127.0.0.1", "/", "d=4; Domain=0.0.1", kNow);
  jar.Store("www.example.com", "/", "noequals", kNow);
  jar.Store("www.example.com", "/", "=novalue", kNow);
  EXPECT_TRUE(jar.Cookies().empty());
  jar.Store("localhost", "/", "e=5; Domain=localhost", kNow);
  EXPECT_EQ(jar.CookieHeader("localhost", "/", kNow, false), "e=5");
}

TEST(CookieJar, ExpiresByMaxAgeAndDateAndReplacesByName) {
  HttpCookieJar jar;
  jar.Store("h.test", "/", "a=1; Max-Age=10", kNow);
  jar.Store("h.test", "/", "b=1; Expires=Fri, 31 Dec 2100 23:59:59 GMT", kNow);
  jar.Store("h.test", "/", "c=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT", kNow);
  jar.Store("h.test", "/", "d=1; Max-Age=100; Expires=Thu, 01 Jan 1970 00:00:00 GMT", kNow);
  EXPECT_EQ(jar.CookieHeader("h.test", "/", kNow, false), "a=1; b=1; d=1");
  EXPECT_EQ(jar.CookieHeader("h.test", "/", kNow + 10, false), "b=1; d=1");
  jar.Store("h.test", "/", "b=2", kNow);
  EXPECT_EQ(jar.CookieHeader("h.test", "/", kNow, false), "a=1; b=2; d=1");
  jar.Store("h.test", "/", "d=gone; Max-Age=0", kNow);
  jar.Store("h.test", "/", "a=gone; Max-Age=-1", kNow);
  EXPECT_EQ(jar.CookieHeader("h.test", "/", kNow, false), "b=2");
}

TEST(CookieJar, StaysWithinItsLimits) {
  HttpCookieJar jar;
  for (std::size_t i = 0; i < kMaxCookies + 50; ++i)
    jar.Store("h.test", "/", "n" + std::to_string(i) + "=v", kNow);
  EXPECT_EQ(jar.Cookies().size(), kMaxCookies);
  EXPECT_EQ(jar.Cookies().front().name, "n50");  // the oldest went first
  jar.Clear();
  jar.Store("h.test", "/", "big=" + std::string(kMaxSetCookieLength, 'x'), kNow);
  EXPECT_TRUE(jar.Cookies().empty());
}

}  // namespace
}  // namespace lorvex
