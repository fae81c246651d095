// The logger's delivery rules: pending records, their bound, failing receivers, the size
// check cadence and the resume header.
#include "logging/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include <boost/make_shared.hpp>

#include "logging/log_level.h"
#include "logging/receiver/memory_log.h"
#include "platform/thread_id.h"
#include "tests/logging/test_support.h"

namespace logging {
namespace {

using logtest::kFixedStamp;
using logtest::thread_mark;
using testing::ElementsAre;

// Fails the writes whose numbers (from 1) are listed, keeps the others.
class flaky_receiver_t : public receiver::CMemoryLog {
 public:
  explicit flaky_receiver_t(std::vector<int> failing) : CMemoryLog("\n"), failing_(failing) {}
  void write(const std::string& record) override {
    ++calls_;
    if (std::find(failing_.begin(), failing_.end(), calls_) != failing_.end()) {
      throw std::runtime_error("disk full");
    }
    CMemoryLog::write(record);
  }

 private:
  std::vector<int> failing_;
  int calls_ = 0;
};

class LoggerTest : public testing::Test {
 protected:
  std::string line(std::string_view body, std::string_view eol = "\r\n") {
    return kFixedStamp + thread_mark() + "ch       | " + std::string(body) + std::string(eol);
  }
  void write(log_t& log, std::string_view text, int32_t level = Info) {
    log.write(level, 0, tag_, text);
  }

  logtest::fixed_time_t time_;
  boost::shared_ptr<format::line_format_t> tag_ = boost::make_shared<format::line_format_t>("ch");
};

TEST_F(LoggerTest, PendingRecordsKeepTheirTerminatorAndGoFirstOnAttach) {
  log_t log;
  write(log, "one");
  write(log, "two");
  EXPECT_EQ(log.pending_count(), 2u);
  auto sink = boost::make_shared<receiver::CMemoryLog>("\n");
  EXPECT_EQ(log.set_receiver(sink), nullptr);
  EXPECT_EQ(log.pending_count(), 0u);
  write(log, "three");
  EXPECT_THAT(sink->records(), ElementsAre(line("one"), line("two"), line("three", "\n")));

  // Detached again, records wait once more.
  EXPECT_EQ(log.set_receiver(nullptr), sink);
  write(log, "four");
  EXPECT_EQ(log.pending_count(), 1u);
  EXPECT_EQ(sink->records().size(), 3u);
}

TEST_F(LoggerTest, PendingListIsBoundedByCountAndBytesAndDropsAreReported) {
  log_t log;
  log.set_pending_limit(3);
  for (int i = 1; i <= 5; ++i) write(log, "r" + std::to_string(i));
  EXPECT_EQ(log.pending_count(), 3u);
  auto sink = boost::make_shared<receiver::CMemoryLog>();
  log.set_receiver(sink);
  const std::string notice_tag = "         | ";
  EXPECT_THAT(sink->records(),
              ElementsAre(kFixedStamp + thread_mark() + notice_tag +
                              "WARN|2 log records were dropped while no receiver was attached. "
                              "Pending limit: 3 records, 4194304 bytes.\r\n",
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

TEST_F(LoggerTest, RefusedRecordsAreCountedAndReportedWithTheNextOneTaken) {
  log_t log;
  write(log, "p1");
  write(log, "p2");
  // The first pending record is refused: it stays pending, nothing after it is attempted.
  auto sink = boost::make_shared<flaky_receiver_t>(std::vector<int>{1, 4, 5});
  log.set_receiver(sink);
  EXPECT_EQ(log.pending_count(), 2u);
  write(log, "a");  // p1 (2nd call), p2 (3rd), a (4th: fails and is lost)
  write(log, "b");  // 5th: fails, lost
  write(log, "c");  // 6th: carries the count of the two lost before it, in the same write
  const std::string notice = kFixedStamp + thread_mark() + "         | " +
                             "WARN|2 log records could not be written and were lost.\n";
  EXPECT_THAT(sink->records(), ElementsAre(line("p1"), line("p2"), notice + line("c", "\n")));
  EXPECT_EQ(log.pending_count(), 0u);
  write(log, "d");
  EXPECT_EQ(sink->records().back(), line("d", "\n"));  // reported once
}

// Counts its calls; answers from a script (true: aged, throw: failed).
struct scripted_checker_t {
  std::vector<int>* calls;
  std::vector<std::string> script;  // "aged", "no", "throw"
  bool operator()(const boost::shared_ptr<receiver::log_file_t>&) {
    const size_t n = calls->size();
    calls->push_back(static_cast<int>(n));
    const std::string& step = n < script.size() ? script[n] : "no";
    if (step == "throw") throw std::runtime_error("cannot age");
    return step == "aged";
  }
};

TEST_F(LoggerTest, SizeCheckRunsEveryThousandRecordsAndIsRetriedAfterAFailure) {
  logtest::manual_clock_t clock;
  auto sink = boost::make_shared<receiver::CMemoryLog>("\n");
  log_t log(sink);
  std::vector<int> calls;
  log.set_size_checker(scripted_checker_t{&calls, {"no", "throw", "aged"}});
  for (int i = 0; i < 999; ++i) write(log, "r");
  EXPECT_EQ(calls.size(), 0u);  // switched off: nothing counted
  log.set_size_check(true);
  for (int i = 0; i < 999; ++i) write(log, "r");
  EXPECT_EQ(calls.size(), 0u);
  write(log, "r");  // the 1000th
  EXPECT_EQ(calls.size(), 1u);
  for (int i = 0; i < 1000; ++i) write(log, "r");
  EXPECT_EQ(calls.size(), 2u);  // this one throws: the record stays written, the count stays
  for (int i = 0; i < 10; ++i) write(log, "r");
  EXPECT_EQ(calls.size(), 2u);  // not retried with every record
  clock.Sleep(log_t::kCheckRetryMs);
  sink->clear();
  write(log, "next");
  EXPECT_EQ(calls.size(), 3u);  // checked again once the pause is over, and aged this time
  const std::string header = kFixedStamp + thread_mark() + "         | ";
  EXPECT_THAT(sink->records(),
              ElementsAre(line("next", "\n"), header + "LOG: Resuming log session\n",
                          header + std::string(84, '=') + "\n"));
  // The header records are not counted: the next check comes after 1000 more records.
  for (int i = 0; i < 999; ++i) write(log, "r");
  EXPECT_EQ(calls.size(), 3u);
  write(log, "r");
  EXPECT_EQ(calls.size(), 4u);
}

TEST_F(LoggerTest, FailingSizeCheckWhileFlushingNeitherStopsNorRepeatsIt) {
  logtest::manual_clock_t clock;
  log_t log;
  for (int i = 0; i < 1001; ++i) write(log, "p" + std::to_string(i));
  std::vector<int> calls;
  log.set_size_checker(scripted_checker_t{&calls, {"throw"}});
  log.set_size_check(true);
  auto sink = boost::make_shared<receiver::CMemoryLog>();
  log.set_receiver(sink);  // the check after the 1000th record throws; the flush goes on
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(log.pending_count(), 0u);
  write(log, "next");
  const auto records = sink->records();
  ASSERT_EQ(records.size(), 1002u);
  EXPECT_EQ(records[999], line("p999"));
  EXPECT_EQ(records[1000], line("p1000"));
  EXPECT_EQ(records[1001], line("next"));
}

// A receiver that logs through its own logger while receiving: the lock is re-entrant.
class echo_receiver_t : public receiver::CMemoryLog {
 public:
  explicit echo_receiver_t(log_t*& log) : CMemoryLog("\n"), log_(log) {}
  void write(const std::string& record) override {
    CMemoryLog::write(record);
    if (!echoing_ && log_ != nullptr) {
      echoing_ = true;
      log_->write(Info, 0, boost::make_shared<format::line_format_t>("echo"), "seen");
      echoing_ = false;
    }
  }

 private:
  log_t*& log_;
  bool echoing_ = false;
};

TEST_F(LoggerTest, ReceiverMayLogFromInsideAWrite) {
  log_t* target = nullptr;
  auto sink = boost::make_shared<echo_receiver_t>(target);
  log_t log(sink);
  target = &log;
  write(log, "outer");
  ASSERT_EQ(sink->records().size(), 2u);
  EXPECT_EQ(sink->records()[0], line("outer", "\n"));
  EXPECT_THAT(sink->records()[1], testing::EndsWith("echo     | seen\n"));
}

TEST(DepthCounterTest, LoggerBuiltWhereAnotherLivedStartsAtDepthZero) {
  alignas(log_t) unsigned char storage[sizeof(log_t)];
  auto* first = new (storage) log_t;
  std::promise<void> raised, rebuilt;
  std::promise<int32_t> seen;
  // The depth is raised on a thread that outlives the logger.
  std::thread thread([&] {
    first->depth_counter().increment();
    first->depth_counter().increment();
    raised.set_value();
    rebuilt.get_future().wait();
    seen.set_value(std::launder(reinterpret_cast<log_t*>(storage))->depth_counter().get());
  });
  raised.get_future().wait();
  first->~log_t();
  auto* second = new (storage) log_t;
  rebuilt.set_value();
  EXPECT_EQ(seen.get_future().get(), 0);
  thread.join();
  second->~log_t();
}

#ifndef _WIN32  // no fork there
TEST(ThreadIdTest, ForkedChildHasItsOwnId) {
  const DWORD parent = GetCurrentThreadId();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const DWORD id = GetCurrentThreadId();
    _exit(write(fds[1], &id, sizeof id) == sizeof id ? 0 : 1);
  }
  DWORD in_child = 0;
  EXPECT_EQ(read(fds[0], &in_child, sizeof in_child), static_cast<ssize_t>(sizeof in_child));
  close(fds[0]);
  close(fds[1]);
  waitpid(child, nullptr, 0);
  // The forking thread becomes the child's main thread, whose id is the child's pid.
  EXPECT_EQ(in_child, static_cast<DWORD>(child));
  EXPECT_NE(in_child, parent);
}
#endif

}  // namespace
}  // namespace logging
