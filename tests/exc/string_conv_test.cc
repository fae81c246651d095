#include "exc/string_conv.h"

#include <string>

#include <gtest/gtest.h>

#include "exc/array.h"
#include "exc/exceptions.h"
#include "platform/code_page.h"
#include "tests/exc/what_of.h"

namespace {

using namespace std::string_literals;

TEST(StringConv, EmbeddedZeroCutsOnlyTheAnsiSide) {
  const std::u16string wide = u"ab\0cd"s;
  EXPECT_EQ(exc::wide_to_ansi(wide), "ab");
  EXPECT_EQ(exc::wide_to_utf8(wide), "ab\0cd"s);
  EXPECT_EQ(exc::ansi_to_wide("ab\0cd"s), u"ab");
  EXPECT_EQ(exc::utf8_to_wide("ab\0cd"s), u"ab\0cd"s);
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
