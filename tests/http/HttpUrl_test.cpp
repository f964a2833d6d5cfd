#include "http/HttpUrl.h"

#include <gtest/gtest.h>

#include "http/HttpError.h"

namespace lorvex {
namespace {

TEST(HttpUrlParsing, SplitsHostPortAndTarget) {
  HttpUrl u = ParseHttpUrl("HTTP://User:pw@Example.COM:8080/a/b?x=1#frag");
  EXPECT_EQ(u.host, "example.com");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.target, "/a/b?x=1");
  EXPECT_EQ(u.Authority(), "example.com:8080");
  EXPECT_EQ(u.Path(), "/a/b");

  HttpUrl bare = ParseHttpUrl("http://h");
  EXPECT_EQ(bare.target, "/");
  EXPECT_EQ(bare.Authority(), "h");
  EXPECT_EQ(ParseHttpUrl("http://h?q").target, "/?q");

  HttpUrl secure = ParseHttpUrl("HTTPS://h/x");
  EXPECT_TRUE(secure.secure);
  EXPECT_EQ(secure.port, 443);
  EXPECT_EQ(secure.AbsoluteForm(), "https://h/x");
  EXPECT_EQ(ParseHttpUrl("https://h:80/").Authority(), "h:80");
  EXPECT_EQ(ResolveLocation(secure, "//other/y"), "https://other/y");
  EXPECT_EQ(ResolveLocation(secure, "../z"), "https://h/z");

  HttpUrl v6 = ParseHttpUrl("http://[::1]:81/x");
  EXPECT_EQ(v6.host, "::1");
  EXPECT_EQ(v6.AbsoluteForm(), "http://[::1]:81/x");
}

TEST(HttpUrlParsing, EncodesBytesThatCannotStandInARequestLine) {
  EXPECT_EQ(ParseHttpUrl("http://h/a b\"<\x01\xC4.htm?q=%20").target,
            "/a%20b%22%3C%01%C4.htm?q=%20");
}

TEST(HttpUrlParsing, RejectsWhatIsNotAPlainHttpUrl) {
  const char* bad[] = {"file:///x",
                       "ftp://h/",
                       "h/x",
                       "",
                       "http:/x",
                       "http:///x",
                       "http://h:0/",
                       "http://h:65536/",
                       "http://h:8x/",
                       "http://a b/",
                       "http://h\r\nX: y/",
                       "http://[::1/"};
  for (const char* url : bad) {
    try {
      ParseHttpUrl(url);
      ADD_FAILURE() << "accepted " << url;
    } catch (const HttpError& e) {
      EXPECT_EQ(e.Kind(), HttpFailure::Url) << url;
    }
  }
}

TEST(HttpLocation, ResolvesAgainstTheRequestedUrl) {
  HttpUrl base = ParseHttpUrl("http://h:81/dir/sub/page.htm?x");
  struct Case {
    const char* location;
    const char* expected;
  } cases[] = {
      {"http://other/x", "http://other/x"},
      {"HTTPS://other/x", "HTTPS://other/x"},
      {"//other:82/y", "http://other:82/y"},
      {"/root", "http://h:81/root"},
      {"next.htm", "http://h:81/dir/sub/next.htm"},
      {"../up.htm?q=1", "http://h:81/dir/up.htm?q=1"},
      {"../../../../top", "http://h:81/top"},
      {"./", "http://h:81/dir/sub/"},
      {"?only", "http://h:81/dir/sub/page.htm?only"},
      {"a/./b/../c#frag", "http://h:81/dir/sub/a/c"},
      {"  spaced  ", "http://h:81/dir/sub/spaced"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ResolveLocation(base, c.location), c.expected) << c.location;
}

}  // namespace
}  // namespace lorvex
