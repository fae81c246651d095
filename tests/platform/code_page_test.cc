#include "platform/code_page.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/last_error.h"

namespace {

// Converts through the two-call pattern callers use: size query, then the real call.
std::u16string ToWide(std::string_view in, UINT cp = CP_UTF8) {
  const int n = MultiByteToWideChar(cp, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  EXPECT_GT(n, 0);
  std::u16string out(n, u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, 0, in.data(), static_cast<int>(in.size()), out.data(), n));
  return out;
}

std::string ToNarrow(std::u16string_view in, UINT cp = CP_UTF8) {
  const int n = WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                    nullptr, nullptr);
  EXPECT_GT(n, 0);
  std::string out(n, '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), out.data(), n,
                                   nullptr, nullptr));
  return out;
}

TEST(CodePage, RoundTripsAllPlanesThroughBothCodePages) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  const std::u16string wide = u"a\u00E9\u20AC\U0001F600z";
  for (UINT cp : {CP_ACP, CP_UTF8}) {
    EXPECT_EQ(ToWide(text, cp), wide);
    EXPECT_EQ(ToNarrow(wide, cp), text);
  }
}

TEST(CodePage, TooSmallOutputFailsAndLeavesTheBufferAlone) {
  char16_t wide[2] = {u'#', u'#'};
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(wide[0], u'#');

  char narrow[3] = {'#', '#', '#'};
  // U+20AC needs three bytes; only its terminator would not fit.
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", -1, narrow, 3, nullptr, nullptr));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(narrow[0], '#');
}

}  // namespace
