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

TEST(CodePage, ExplicitLengthKeepsEmbeddedNulsAndMinusOneCountsTheTerminator) {
  const char in[] = {'a', '\0', 'b'};
  EXPECT_EQ(ToWide(std::string_view(in, 3)), std::u16string(u"a\0b", 3));

  EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0));
  char16_t out[4] = {1, 1, 1, 1};
  EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, out, 4));
  EXPECT_EQ(std::u16string_view(out, 4), std::u16string_view(u"abc\0", 4));

  EXPECT_EQ(3, WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(1, MultiByteToWideChar(CP_UTF8, 0, "", -1, nullptr, 0));  // just the terminator
}

TEST(CodePage, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\x80", u"\uFFFD"},                                // stray trail byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong lead never valid
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE2\x82", u"\uFFFD"},                            // truncated at end: one replacement
      {"\xE2\x82x", u"\uFFFDx"},                          // truncated, next char survives
  };
  for (const auto& c : cases) EXPECT_EQ(ToWide(c.in), c.out) << testing::PrintToString(c.in);
}

TEST(CodePage, UnpairedSurrogatesEncodeAsReplacement) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(ToNarrow(std::u16string{char16_t{0xDC00}, char16_t{0xD800}}), fffd + fffd);
  EXPECT_EQ(ToNarrow(std::u16string{char16_t{0xD83D}, u'x'}), fffd + "x");  // high, no low
  // A pair split by the explicit length is two halves, the first unpaired.
  const char16_t pair[] = {0xD83D, 0xDE00};
  EXPECT_EQ(3, WideCharToMultiByte(CP_UTF8, 0, pair, 1, nullptr, 0, nullptr, nullptr));
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
