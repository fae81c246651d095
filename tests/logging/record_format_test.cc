#include "logging/record_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logging/line_format.h"
#include "logging/log_level.h"
#include "tests/logging/test_support.h"

namespace logging::format {
namespace {

using logtest::kFixedStamp;
using logtest::thread_mark;

std::string record(int32_t level, int32_t depth, std::string_view text, std::string_view name = "",
                   std::string_view eol = "\r\n", uint32_t layout = kLayoutDefault) {
  logtest::fixed_time_t time;
  std::string out;
  append_record(out, layout, level, depth, line_format_t(name).tag(), text, eol);
  return out;
}

std::string prefix(std::string_view tag = "         | ") {
  return kFixedStamp + thread_mark() + std::string(tag);
}

TEST(RecordFormatTest, WarningMatchesTheDocumentedLineToTheByte) {
  EXPECT_EQ(record(Warning, 0, "Connection lost"),
            "[05.12.2026 14:03:07.015] " + thread_mark() + "         | WARN|Connection lost\r\n");
  // Names longer than the tag's nine columns are cut.
  EXPECT_EQ(record(Info, 0, "a", "abcdefghijk"), prefix("abcdefghi| ") + "a\r\n");
}

TEST(RecordFormatTest, StampFieldsAreZeroPadded) {
  logtest::fixed_time_t time(SYSTEMTIME{987, 1, 0, 2, 3, 4, 5, 6});
  std::string out;
  append_record(out, kLayoutDefault, Info, 0, "", "x", "\n");
  EXPECT_EQ(out, "[02.01.0987 03:04:05.006] " + thread_mark() + "x\n");
}

TEST(RecordFormatTest, LineSplitting) {
  // An empty text, or a lone line feed, is one empty line.
  EXPECT_EQ(record(Info, 0, ""), prefix() + "\r\n");
  EXPECT_EQ(record(Info, 0, "\n"), prefix() + "\r\n");
  // A final line feed does not open an empty last line; two in a row leave an empty middle one.
  EXPECT_EQ(record(Info, 0, "one\n"), prefix() + "one\r\n");
  EXPECT_EQ(record(Info, 0, "a\n\nb"), prefix() + "a\r\n" + prefix() + "\r\n" + prefix() + "b\r\n");
  // A carriage return stays with its line; the terminator ends only the last.
  EXPECT_EQ(record(Info, 0, "a\r\nb", "", "\n"), prefix() + "a\r\n" + prefix() + "b\n");
}

TEST(RecordFormatTest, LevelMarksAndIndentation) {
  EXPECT_EQ(record(Warning, 0, "a\nb"), prefix() + "WARN|a\r\n" + prefix() + ">>  |b\r\n");
  EXPECT_EQ(record(Error, 0, "a"), prefix() + "ERR |a\r\n");
  EXPECT_EQ(record(Info, 0, "a\nb"), prefix() + "a\r\n" + prefix() + "b\r\n");
  EXPECT_EQ(record(7, 0, "a"), prefix() + "a\r\n");  // unknown levels carry no mark
  // Two blanks per level, after the mark; negative depths are flat.
  EXPECT_EQ(record(Info, 2, "a\nb", "rpc"),
            prefix("rpc      | ") + "    a\r\n" + prefix("rpc      | ") + "    b\r\n");
  EXPECT_EQ(record(Warning, 1, "a"), prefix() + "WARN|  a\r\n");
  EXPECT_EQ(record(Info, -3, "a"), prefix() + "a\r\n");
}

TEST(RecordFormatTest, BareLayoutHasLevelNamesOnly) {
  EXPECT_EQ(record(Verbose, 0, "a", "rpc", "\n", kLayoutBare), "Info     a\n");
  EXPECT_EQ(record(Info, 1, "a\nb", "rpc", "\n", kLayoutBare), "Info       a\nInfo       b\n");
  EXPECT_EQ(record(Warning, 0, "a", "", "\n", kLayoutBare), "Warning  a\n");
  EXPECT_EQ(record(Error, 0, "a", "", "\n", kLayoutBare), "Error    a\n");
  EXPECT_EQ(record(0, 0, "a", "", "\n", kLayoutBare), "a\n");
}

TEST(RecordFormatTest, NamedLayoutHasSecondsAndShortThreadMark) {
  std::string out;
  append_record(out, kLayoutNamed, Warning, 0, "ignored| ", "a", "\n");
  char mark[16];
  std::snprintf(mark, sizeof mark, "<%2u> ", static_cast<unsigned>(GetCurrentThreadId() % 100));
  EXPECT_THAT(
      out, testing::MatchesRegex(R"(\[[0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\] )" +
                                 std::string(mark) + "Warning  a\n"));
}

}  // namespace
}  // namespace logging::format
