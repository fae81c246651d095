#include "exc/string_conv.h"

#include <string>

#include <gtest/gtest.h>

#include "exc/array.h"
#include "exc/exceptions.h"
#include "platform/code_page.h"
#include "tests/exc/what_of.h"

namespace {

using namespace std::string_literals;

TEST(StringConv, EmptyInputNeedsNoSystemCall) {
  // An armed failure would hit the first system call; none is made for empty input.
  platform::FailNextConversionForTesting(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(exc::wide_to_ansi(u""), "");
  EXPECT_EQ(exc::ansi_to_wide(""), u"");
  EXPECT_EQ(exc::wide_to_utf8(u""), "");
  EXPECT_EQ(exc::utf8_to_wide(""), u"");
  // Still armed: the next real conversion fails.
  EXPECT_EQ(exc::wide_to_utf8_nothrow(u"x"), "");
}

TEST(StringConv, EmbeddedZeroCutsOnlyTheAnsiSide) {
  const std::u16string wide = u"ab\0cd"s;
  EXPECT_EQ(exc::wide_to_ansi(wide), "ab");
  EXPECT_EQ(exc::wide_to_utf8(wide), "ab\0cd"s);
  EXPECT_EQ(exc::ansi_to_wide("ab\0cd"s), u"ab");
  EXPECT_EQ(exc::utf8_to_wide("ab\0cd"s), u"ab\0cd"s);
}

TEST(StringConv, ThrowingFormsReportTheSystemError) {
  const auto failed = [](DWORD code, auto&& convert) {
    platform::FailNextConversionForTesting(code);
    return exctest::Caught<exc::win_sys_exc_t>(convert);
  };
  const auto ansi = failed(ERROR_NO_UNICODE_TRANSLATION, [] { exc::ansi_to_wide("src"); });
  ASSERT_TRUE(ansi);
  EXPECT_EQ(ansi->error_code(), ERROR_NO_UNICODE_TRANSLATION);
  ASSERT_EQ(ansi->lines().size(), 3u);
  EXPECT_EQ(ansi->lines()[1].text,
            "Multibyte string cannot be converted to unicode string. Source string: [src].");
  EXPECT_EQ(ansi->lines()[2].text, "Error code: 0x00000459");
  const auto utf8 = failed(ERROR_INSUFFICIENT_BUFFER, [] { exc::utf8_to_wide("u8"); });
  ASSERT_TRUE(utf8);
  EXPECT_EQ(utf8->error_code(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(utf8->lines().at(1).text,
            "Multibyte UTF8 string cannot be converted to unicode string. Source string: [u8].");
  const auto wide = failed(ERROR_INVALID_PARAMETER, [] { exc::wide_to_utf8(u"w"); });
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->lines().at(1).text, "Unicode string cannot be converted to UTF8 string.");
}

TEST(StringConv, NonThrowingFormsFallBack) {
  platform::FailNextConversionForTesting(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(exc::wide_to_ansi_nothrow(u"w"), "UNICODE->ANSI failed");
  platform::FailNextConversionForTesting(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(exc::ansi_to_wide_nothrow("a"), u"ANSI -> UNICODE failed.");
  platform::FailNextConversionForTesting(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(exc::wide_to_utf8_nothrow(u"w"), "");
  platform::FailNextConversionForTesting(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(exc::utf8_to_wide_nothrow("\xc3\x28"), u"UTF8 -> UTF16 failed. Raw: c328");
  platform::FailNextConversionForTesting(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(exc::ansi_to_utf8("keep \xff"), "keep \xff");
}

TEST(ByteArray, IndexIsCheckedAgainstTheSize) {
  exc::array_t bytes(4);
  EXPECT_EQ(bytes.check_array_index(3), bytes.data() + 3);
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { bytes.check_array_index(4); }),
            "Out of the array bound. Index of the requested array element: [4]. Array size: [4].");
  EXPECT_THROW(exc::array_t().check_array_index(0), exc::runtime_exc_t);
}

}  // namespace
