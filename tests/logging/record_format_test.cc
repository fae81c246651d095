#include "logging/record_format.h"

#include <cctype>
#include <cstdio>
#include <string_view>

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
  // The stamp's digits, each '0' here (GoogleTest's regular expressions on Windows have no
  // character classes or counts).
  const std::string_view stamp = "[00.00.0000 00:00:00] ";
  ASSERT_GT(out.size(), stamp.size()) << out;
  for (size_t i = 0; i < stamp.size(); ++i) {
    EXPECT_TRUE(stamp[i] == '0' ? std::isdigit(static_cast<unsigned char>(out[i])) != 0
                                : stamp[i] == out[i])
        << out;
  }
  char mark[16];
  std::snprintf(mark, sizeof mark, "<%2u> ", static_cast<unsigned>(GetCurrentThreadId() % 100));
  EXPECT_EQ(out.substr(stamp.size()), std::string(mark) + "Warning  a\n");
}

}  // namespace
}  // namespace logging::format
