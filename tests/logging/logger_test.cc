// The logger's bound on records kept while no receiver is attached, and how drops are told.
#include "logging/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "logging/log_level.h"
#include "logging/receiver/memory_log.h"
#include "tests/logging/test_support.h"

namespace logging {
namespace {

using testing::ElementsAre;

TEST(LoggerTest, PendingListIsBoundedByCountAndBytesAndDropsAreReported) {
  logtest::fixed_time_t time;
  const auto tag = boost::make_shared<format::line_format_t>("ch");
  auto line = [](std::string_view body) { return logtest::stamped("ch       | ", body, "\r\n"); };
  auto write = [&](log_t& log, std::string_view text) { log.write(Info, 0, tag, text); };
  log_t log;
  log.set_pending_limit(3);
  for (int i = 1; i <= 5; ++i) write(log, "r" + std::to_string(i));
  EXPECT_EQ(log.pending_count(), 3u);
  auto sink = boost::make_shared<receiver::CMemoryLog>();
  log.set_receiver(sink);
  EXPECT_THAT(sink->records(),
              ElementsAre(logtest::stamped("         | ",
                                           "WARN|2 log records were dropped while no receiver was "
                                           "attached. Pending limit: 3 records, 4194304 bytes.",
                                           "\r\n"),
                          line("r3"), line("r4"), line("r5")));

  // The count starts again after it was reported; lowering the bound drops at once.
  log.set_receiver(nullptr);
  for (int i = 0; i < 3; ++i) write(log, "x");
  log.set_pending_limit(1);
  EXPECT_EQ(log.pending_count(), 1u);
  log.set_pending_limit(0);
  write(log, "y");
  EXPECT_EQ(log.pending_count(), 0u);

  // Large records are bounded by their bytes long before their count; one larger than the
  // whole bound is not kept at all.
  log_t big;
  big.set_pending_byte_limit(1024 * 1024);
  for (int i = 0; i < 100; ++i) write(big, std::string(100 * 1024, 'a'));
  EXPECT_LE(big.pending_bytes(), 1024u * 1024);
  EXPECT_GE(big.pending_count(), 5u);
  EXPECT_LE(big.pending_count(), 10u);
  write(big, std::string(2 * 1024 * 1024, 'b'));
  EXPECT_LE(big.pending_bytes(), 1024u * 1024);
  big.set_pending_byte_limit(0);
  EXPECT_EQ(big.pending_count(), 0u);
  EXPECT_EQ(big.pending_bytes(), 0u);
}

}  // namespace
}  // namespace logging
