#include "exc/format_message.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exc/exceptions.h"
#include "platform/code_page.h"

namespace {

using exc::format_message;
using exc::format_simple;

std::string simple(std::string_view format, std::vector<std::string_view> args) {
  return format_simple(format, args);
}

TEST(FormatMessage, BadPlaceholdersStayLiterally) {
  EXPECT_EQ(format_message("Error code: %1"), "Error code: %1");  // no arguments: unchanged
  EXPECT_EQ(format_message("%1 %2 %3", "a", "b"), "a b %3");
  EXPECT_EQ(format_message("%0 %-1 %1", "a"), "%0 %-1 a");
  EXPECT_EQ(format_message("[% 1]", "a"), "[a]");  // white space before the number is read
  EXPECT_EQ(format_message("100%", "a"), "100%. Skipped arguments: [a];");
  EXPECT_EQ(format_message("%%1", "a"), "%a");
  EXPECT_EQ(format_message("%x %", "a"), "%x %. Skipped arguments: [a];");
  // Numbers beyond the 32-bit range saturate and never wrap round to a valid index.
  EXPECT_EQ(format_message("%4294967297", "a"), "%4294967297. Skipped arguments: [a];");
  EXPECT_EQ(format_message("{", "a"), "{. Skipped arguments: [a];");
}

TEST(FormatMessage, FailedArgumentConversionIsContained) {
  platform::FailNextConversionForTesting(ERROR_NO_UNICODE_TRANSLATION);
  const std::string text = format_message("[%1] [%2]", std::u16string(u"bad"), "good");
  const std::string prefix = "[[Cannot format argument. Exception: ";
  ASSERT_EQ(text.rfind(prefix, 0), 0u) << text;
  EXPECT_NE(text.find("Unicode string cannot be converted to UTF8 string.\n--tr:Error code: "
                      "0x00000459]] [good]"),
            std::string::npos)
      << text;

  // The carrier of a wide text falls back to an empty text instead.
  platform::FailNextConversionForTesting(ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(format_message("[{}]", exc::wide_text_ref{u"bad"}), "[]");
}

TEST(FormatSimple, OnlyNumberedPlaceholders) {
  EXPECT_EQ(simple("RPC call failed with error: [%1]", {"000006ba"}),
            "RPC call failed with error: [000006ba]");
  EXPECT_EQ(simple("%1 %1 {}", {"a"}), "a a {}");
  EXPECT_EQ(simple("%1 unused", {"a", "b"}), "a unused");  // no skipped list
  EXPECT_EQ(simple("%0 %2 %-1 %x %%1", {"a"}), "%0 %2 %-1 %x %a");
  EXPECT_EQ(simple("100%", {"a"}), "100");  // a lone final '%' is dropped
  EXPECT_EQ(simple("100%", {}), "100%");    // ... but only when there are arguments
}

}  // namespace
