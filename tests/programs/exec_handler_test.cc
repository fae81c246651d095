// The command handler against real child processes: what reaches the command, what comes
// back, and that limits and cancellation end the command and everything it started.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "server/exec_handler.h"

namespace zelqa::server {
namespace {

struct Ran {
  DoRpcOutcome outcome;
  std::string summary;
};

Ran RunScript(const std::string& script, std::u16string r1 = u"one", std::u16string r2 = u"two",
              ChildLimits limits = {}) {
  ExecHandler handler({"sh", "-c", script, "handler"}, limits);
  rpcrt::server::CallContext call;
  call.client_address = "192.0.2.7:4242";
  call.peer_name = "ZELQA\\alice";
  Ran ran;
  ran.outcome = handler.Call(r1, r2, call, ran.summary);
  // A start that fails says only "No such file or directory"; where sh was looked for says more.
  if (ran.outcome.error_message.find(u"could not be started") != std::u16string::npos) {
    const char* path = std::getenv("PATH");
    ADD_FAILURE() << "sh did not start; PATH=" << (path ? path : "(unset)");
  }
  return ran;
}

void ExpectNoChildLeft() {
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(ExecHandler, RequestsAndCallerReachTheCommandAsUtf8) {
  Ran ran = RunScript(
      "[ $# -eq 0 ] && cat && printf '%s/%s/%s/%s' \"$ZELQA_REQUEST1\" \"$ZELQA_REQUEST2\" "
      "\"$ZELQA_CALLER_ADDRESS\" \"$ZELQA_CALLER_ACCOUNT\"",
      u"h\u00e9 'quoted' $HOME", std::u16string(u"lone ") + char16_t{0xd800});
  ASSERT_TRUE(ran.outcome.succeeded);
  EXPECT_EQ(ran.outcome.answer, u"h\u00e9 'quoted' $HOME/lone \ufffd/192.0.2.7:4242/ZELQA\\alice");
  EXPECT_EQ(ran.summary, "succeeded");
  ExpectNoChildLeft();
}

TEST(ExecHandler, RequestsShapedLikeOptionsStayData) {
  // Given as arguments, these would make sort write its output to a file of the caller's
  // choosing.
  const std::string planted = ::testing::TempDir() + "/sorted-by-request";
  std::remove(planted.c_str());
  ExecHandler handler({"sort"}, {});
  std::string summary;
  DoRpcOutcome outcome = handler.Call(u"--output=" + std::u16string(planted.begin(), planted.end()),
                                      u"/dev/null", {}, summary);
  EXPECT_TRUE(outcome.succeeded) << summary;
  EXPECT_NE(::access(planted.c_str(), F_OK), 0) << "a request reached sort as an option";
  ExpectNoChildLeft();
}

TEST(ExecHandler, BothStreamsFloodingNeitherBlocks) {
  // Each burst is far more than a pipe holds: a reader that drained one stream to its end
  // before the other would leave the command blocked on the other.
  Ran ran = RunScript(
      "head -c 200000 /dev/zero >&2; head -c 200000 /dev/zero | tr '\\0' o; "
      "head -c 200000 /dev/zero >&2");
  ASSERT_TRUE(ran.outcome.succeeded);
  EXPECT_EQ(ran.outcome.answer, std::u16string(200000, u'o'));
}

TEST(ExecHandler, OutputLimitIsInclusive) {
  const ChildLimits limits{.max_output = 4096};
  EXPECT_TRUE(RunScript("head -c 4096 /dev/zero", u"", u"", limits).outcome.succeeded);
  Ran over = RunScript("head -c 4097 /dev/zero", u"", u"", limits);
  EXPECT_FALSE(over.outcome.succeeded);
  EXPECT_EQ(over.outcome.error_message,
            u"The command wrote more than 4096 bytes of output and was stopped.");
  // Standard error is only cut, not a reason to fail.
  Ran chatty = RunScript("head -c 100000 /dev/zero >&2; echo fine", u"", u"", limits);
  EXPECT_TRUE(chatty.outcome.succeeded);
  ExpectNoChildLeft();
}

TEST(ExecHandler, FailuresWithoutStandardErrorSayWhatHappened) {
  Ran killed = RunScript("kill -9 $$");
  EXPECT_EQ(killed.outcome.error_message, u"The command was killed by signal 9.");

  ExecHandler missing({"/nonexistent/command"}, {});
  std::string summary;
  DoRpcOutcome outcome = missing.Call(u"a", u"b", {}, summary);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.error_message.rfind(u"The command could not be started: cannot run", 0), 0u);

  Ran nul = RunScript("exit 0", std::u16string(u"a\0b", 3));
  EXPECT_FALSE(nul.outcome.succeeded);
  ExpectNoChildLeft();
}

TEST(ExecHandler, CancelEndsRunningCommandsAtOnce) {
  ExecHandler handler({"sh", "-c", "sleep 60 & wait", "handler"}, {});
  Ran ran;
  const auto start = std::chrono::steady_clock::now();
  std::thread call([&] { ran.outcome = handler.Call(u"", u"", {}, ran.summary); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  handler.CancelAll();
  call.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(ran.outcome.error_message, u"The server is stopping; the command was stopped.");
  // Later calls are refused the same way rather than started.
  EXPECT_FALSE(handler.Call(u"", u"", {}, ran.summary).succeeded);
  ExpectNoChildLeft();
}

}  // namespace
}  // namespace zelqa::server
