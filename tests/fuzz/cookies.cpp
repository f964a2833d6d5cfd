// The cookie jar and its date parser: Set-Cookie values from the input stored for a host and
// path from the input, then the Cookie header for another request.
#include "FuzzCheck.h"
#include "http/HttpCookies.h"
#include "util/Strings.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Lines: the host, the request path, then one Set-Cookie value per line.
  const StringList lines = SplitLines(fuzz::AsText(data, size));
  if (lines.size() < 2) return 0;
  constexpr std::int64_t kNow = 1'800'000'000;
  HttpCookieJar jar;
  for (size_t i = 2; i < lines.size(); ++i) {
    jar.Store(lines[0], lines[1], lines[i], kNow + std::int64_t(i));
    ParseCookieDate(lines[i]);
  }
  fuzz::Expect(jar.Cookies().size() <= kMaxCookies, "the jar keeps at most kMaxCookies");
  jar.CookieHeader(lines[0], lines[1], kNow + 10, false);
  jar.CookieHeader(lines[0], "/", kNow + 10, true);
  return 0;
}
