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

TEST(FormatMessage, NumberedAndAnonymousPlaceholders) {
  EXPECT_EQ(format_message("Failed to open registry key [%1].", "Soft"),
            "Failed to open registry key [Soft].");
  EXPECT_EQ(format_message("%2 then %1", "a", "b"), "b then a");
  // The same placeholder twice uses the argument twice and counts it as used.
  EXPECT_EQ(format_message("%1-%1", "x"), "x-x");
  // The brace counter starts at 0, independently of %N.
  EXPECT_EQ(format_message("%1 {}", "a", "b"), "a a. Skipped arguments: [b];");
  EXPECT_EQ(format_message("{} {} {}", "a", "b"), "a b {}");
  EXPECT_EQ(format_message("{{}}", "a"), "{a}");
}

TEST(FormatMessage, SkippedArgumentsAreAppended) {
  EXPECT_EQ(format_message("Thread finished. Role: '%1'.", "r", "extra"),
            "Thread finished. Role: 'r'. Skipped arguments: [extra];");
  EXPECT_EQ(format_message("Context '%1' not found.", "c", 2u, false),
            "Context 'c' not found. Skipped arguments: [2];[false];");
  // An empty result gets no "." first.
  EXPECT_EQ(format_message("", "a"), " Skipped arguments: [a];");
  EXPECT_EQ(format_message("%2", "a", "b", "c"), "b. Skipped arguments: [a];[c];");
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

TEST(FormatMessage, FormatMayHoldAnyBytes) {
  const std::string format("a\0%1\0", 5);
  EXPECT_EQ(format_message(format, "b"), std::string("a\0b\0", 4));
}

TEST(FormatMessage, ArgumentTypes) {
  EXPECT_EQ(format_message("{} {} {} {}", 4294967295u, -2147483647 - 1, int64_t{-9000000000}, true),
            "4294967295 -2147483648 -9000000000 true");
  EXPECT_EQ(format_message("[{}][{}]", static_cast<const char*>(nullptr), std::string("s")),
            "[][s]");
  EXPECT_EQ(format_message("{}", std::u16string(u"\u00e9t\u00e9")), "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(format_message("{}", exc::wide_text_ref{u"w"}), "w");
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

TEST(FormatMessage, SkippedListOnlyUpTo256Arguments) {
  std::vector<std::string> args(257, "a");
  EXPECT_EQ(exc::format_prepared("x", args), "x");
  args.resize(256);
  const std::string text = exc::format_prepared("%256", args);
  EXPECT_EQ(text.substr(0, 22), "a. Skipped arguments: ");
  EXPECT_EQ(text.size(), 22 + 255 * 4u);
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
