// Channels and traces writing through a logger of their own, checked to the byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "logging/log.h"
#include "logging/log_section.h"
#include "logging/receiver/memory_log.h"
#include "logging/thread_states.h"
#include "logging/trace.h"
#include "tests/logging/test_support.h"

namespace logging {
namespace {

// An exception whose what() is null, as a foreign class may have.
struct silent_exception : std::exception {
  const char* what() const noexcept override { return nullptr; }
};

class ChannelTest : public testing::Test {
 protected:
  std::string line(std::string_view body, std::string_view tag = "rpc      | ") {
    return logtest::stamped(tag, body);
  }
  std::vector<std::string> records() { return sink_->records(); }

  logtest::fixed_time_t time_;
  boost::shared_ptr<receiver::CMemoryLog> sink_ = boost::make_shared<receiver::CMemoryLog>("\n");
  boost::shared_ptr<log_t> logger_ = boost::make_shared<log_t>(sink_);
  log_section_t channel_{"rpc", logger_};
};

TEST_F(ChannelTest, LevelOperations) {
  channel_.Info("i");
  channel_.Info(2, "i2");
  channel_.Verbose("v");
  channel_.Verbose(1, "v1");
  channel_.Debug("d");
  channel_.Debug(3, "d3");
  channel_.Warning("w");
  channel_.Error("e");
  EXPECT_THAT(records(), testing::ElementsAre(line("i"), line("    i2"), line("v"), line("  v1"),
                                              line("WARN|w"), line("ERR |e")));
}

TEST_F(ChannelTest, ExceptionRecordsCarryTheRaisingThread) {
  const exc::runtime_exc_t own("boom");
  const std::string own_thread =
      line(">>  |An exception was thrown from thread [" + std::to_string(own.thread_id()) + "].");
  const std::string no_thread = line(">>  |An exception was thrown from thread [n/a].");
  channel_.Error(own);
  channel_.Error("context", own);
  channel_.Error(std::runtime_error("foreign"));
  channel_.Error(silent_exception());
  channel_.Error("context", silent_exception());
  channel_.Warning("context", std::runtime_error("why"));
  channel_.Warning(std::runtime_error("why"));
  channel_.Warning("context", silent_exception());
  // A warning about an exception without a message becomes an error record.
  channel_.Warning(silent_exception());
  EXPECT_THAT(
      records(),
      testing::ElementsAre(line("ERR |boom") + own_thread,
                           line("ERR |context") + line(">>  |boom") + own_thread,
                           line("ERR |foreign") + no_thread,
                           line("ERR |Exception message is not available.") + no_thread,
                           line("ERR |context") + no_thread,
                           line("WARN|context") + line(">>  |why"), line("WARN|why"),
                           line("WARN|context"), line("ERR |Exception message is not available.")));
}

class TraceTest : public ChannelTest {};

TEST_F(TraceTest, RegisteredThreadRecordsOpenOperations) {
  auto& states = logging::CThreadStatesCollection::instance();
  EXPECT_EQ(states.find(GetCurrentThreadId()), nullptr);
  auto state = states.add_current_thread();
  {
    trace_t outer(channel_, "outer");
    trace_fail_t inner(channel_, "inner");
    const auto ops = state->operations();
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].text, "outer");
    EXPECT_EQ(ops[1].text, "inner");
    inner.done();
    outer.done();
  }
  EXPECT_TRUE(state->operations().empty());
  states.remove(GetCurrentThreadId());
}

}  // namespace
}  // namespace logging
