#include "platform/win32/Boundary.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvex::win32 {
namespace {

// The checked expression is named as written (its macros unexpanded), with its file and line,
// and evaluated once whether it fails or not.
TEST(CallSiteMacros, NameTheExpressionAndEvaluateItOnce) {
  int calls = 0;
  auto call = [&](HRESULT hr) {
    ++calls;
    return hr;
  };
  EXPECT_NO_THROW(LORVEX_CHECK_HR(call(S_FALSE)));  // success codes pass
  const int line = __LINE__ + 2;
  try {
    LORVEX_CHECK_HR(call(E_ACCESSDENIED));
    ADD_FAILURE() << "no exception";
  } catch (const HResultError& e) {
    EXPECT_EQ(e.Result(), E_ACCESSDENIED);
    EXPECT_EQ(std::string(e.what()), "call(E_ACCESSDENIED) failed 0x80070005 (Boundary_test.cpp:" +
                                         std::to_string(line) + ")");
  }
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(LORVEX_TRACE_IF_FAILED("test", call(E_FAIL)), E_FAIL);
  EXPECT_EQ(LORVEX_TRACE_IF_FAILED("test", call(S_OK)), S_OK);
  EXPECT_EQ(calls, 4);
}

}  // namespace
}  // namespace lorvex::win32
