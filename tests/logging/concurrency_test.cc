// Many threads logging through one logger at once: every record arrives whole, and each
// thread's indentation is its own.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>

#include "logging/channels.h"
#include "logging/log.h"
#include "logging/log_section.h"
#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "logging/trace.h"

namespace logging {
namespace {

constexpr int kThreads = 8;
constexpr int kRecords = 400;

TEST(ConcurrencyTest, RecordsFromManyThreadsAreNeitherLostNorInterleaved) {
  auto sink = boost::make_shared<receiver::CMemoryLog>("\n");
  auto logger = boost::make_shared<log_t>();
  log_section_t channel("mt", logger);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&channel, &logger, &sink, t] {
      // Half-way through, one thread attaches the receiver while the others write: records
      // written before that wait and arrive first.
      for (int r = 0; r < kRecords; ++r) {
        if (t == 0 && r == kRecords / 2) logger->set_receiver(sink);
        trace_t trace(channel, "op");
        channel.Info("t" + std::to_string(t) + " r" + std::to_string(r) + "\nsecond line");
        trace.dismiss();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  channel.Info("last");  // flushes whatever was still pending

  const auto records = sink->records();
  // Per record: the trace's opening line, then the two-line info record.
  ASSERT_EQ(records.size(), static_cast<size_t>(2 * kThreads * kRecords + 1));
  std::set<std::string> seen;
  std::vector<int> next(kThreads, 0);
  const std::string tag = "mt       | ";
  for (size_t i = 0; i + 1 < records.size(); ++i) {
    const std::string& rec = records[i];
    const bool pending = rec.ends_with("\r\n");
    const std::string eol = pending ? "\r\n" : "\n";
    if (rec.find(tag + "op" + eol) != std::string::npos) continue;
    // Exactly two lines, both from the same thread, indented once by that thread's trace.
    const size_t first_end = rec.find(eol);
    ASSERT_NE(first_end, std::string::npos) << rec;
    const std::string first = rec.substr(0, first_end);
    const std::string second = rec.substr(first_end + eol.size());
    ASSERT_TRUE(second.ends_with("  second line" + eol)) << rec;
    EXPECT_EQ(first.substr(0, first.find("> ")).substr(26),
              second.substr(0, second.find("> ")).substr(26))
        << rec;  // same thread mark
    const size_t body = first.find(tag + "  t");
    ASSERT_NE(body, std::string::npos) << rec;
    int t = -1, r = -1;
    ASSERT_EQ(std::sscanf(first.c_str() + body + tag.size() + 2, "t%d r%d", &t, &r), 2) << rec;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    // Each thread's records arrive in the order it wrote them.
    EXPECT_EQ(r, next[t]) << rec;
    next[t] = r + 1;
    seen.insert(std::to_string(t) + "/" + std::to_string(r));
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kRecords));
}

TEST(ConcurrencyTest, ProcessChannelsWhileReceiversComeAndGo) {
  auto first = boost::make_shared<receiver::CMemoryLog>();
  auto second = boost::make_shared<receiver::CMemoryLog>();
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&stop, t] {
      for (int r = 0; !stop.load() || r < 200; ++r) {
        trace_t trace(t == 0 ? channels::Rpc() : channels::Cli(), "step");
        channels::Default().Error(std::runtime_error("e" + std::to_string(r)));
        trace.done();
      }
    });
  }
  for (int i = 0; i < 50; ++i) {
    attach_receiver(i % 2 ? first : second);
    attach_receiver(nullptr);
  }
  stop = true;
  for (auto& thread : writers) thread.join();
  // Every record that reached a receiver is whole: it ends with its thread line.
  for (const auto& sink : {first, second}) {
    for (const std::string& rec : sink->records()) {
      if (rec.find("ERR |") == std::string::npos) continue;
      EXPECT_TRUE(rec.ends_with("An exception was thrown from thread [n/a].\r\n")) << rec;
    }
  }
}

}  // namespace
}  // namespace logging
