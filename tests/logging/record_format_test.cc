#include "logging/record_format.h"

#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logging/line_format.h"
#include "logging/log_level.h"
#include "platform/thread_id.h"

namespace logging::format {
namespace {

// The record in the bare layout, which has no stamp or thread mark.
std::string bare(int32_t level, int32_t depth, std::string_view text, std::string_view name = "") {
  std::string out;
  append_record(out, kLayoutBare, level, depth, line_format_t(name).tag(), text, "\n");
  return out;
}

TEST(RecordFormatTest, BareLayoutHasLevelNamesOnly) {
  EXPECT_EQ(bare(Verbose, 0, "a", "rpc"), "Info     a\n");
  EXPECT_EQ(bare(Info, 1, "a\nb", "rpc"), "Info       a\nInfo       b\n");
  EXPECT_EQ(bare(Warning, 0, "a"), "Warning  a\n");
  EXPECT_EQ(bare(Error, 0, "a"), "Error    a\n");
  EXPECT_EQ(bare(0, 0, "a"), "a\n");
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
