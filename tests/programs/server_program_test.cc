// The server program's command line and call log line.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <tuple>

#include "server/call_log.h"
#include "server/server_args.h"

namespace zelqa::server {
namespace {

ServerArgs Parse(std::vector<std::string> extra) {
  extra.insert(extra.begin(), {"--listen", "127.0.0.1:0", "--accounts", "a"});
  return ParseServerArgs(extra);
}

TEST(ServerArgs, ExecTakesEverythingAfterIt) {
  ServerArgs args = Parse({"--exec-timeout", "0.25", "--exec", "tool", "--listen", "-x"});
  EXPECT_EQ(args.exec, (std::vector<std::string>{"tool", "--listen", "-x"}));
  EXPECT_EQ(args.listen.size(), 1u);
  EXPECT_EQ(args.exec_timeout_ms, 250u);
  EXPECT_EQ(Parse({}).exec_timeout_ms, 30000u);
  EXPECT_EQ(Parse({"--exec-timeout", "2"}).exec_timeout_ms, 2000u);
}

TEST(ServerArgs, ConnectionDeadlines) {
  // Bind, PDU and idle deadlines in milliseconds.
  const auto deadlines = [](const ServerArgs& args) {
    return std::tuple{args.bind_timeout_ms, args.pdu_timeout_ms, args.idle_timeout_ms};
  };
  EXPECT_EQ(deadlines(Parse({})), std::tuple(10000u, 10000u, 300000u));
  EXPECT_EQ(
      deadlines(Parse({"--bind-timeout", "0.5", "--pdu-timeout", "2", "--idle-timeout", "60"})),
      std::tuple(500u, 2000u, 60000u));
}

TEST(ServerArgs, LimitsOutOfRangeAreRefused) {
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--exec"},
           {"--exec-timeout", "0"},
           {"--exec-timeout", "1.2345"},
           {"--exec-timeout", "1."},
           {"--exec-timeout", "-1"},
           {"--exec-max-output", "0"},
           {"--exec-max-output", "12k"},
           {"--max-connections", "0"},
           {"--idle-timeout", "0"},
           {"--bind-timeout"},
           {"--max-connections", "99999999999999999999"},
       }) {
    EXPECT_THROW(Parse(bad), std::invalid_argument) << bad.front();
  }
}

TEST(CallLog, LinesNameCallerAndOutcome) {
  rpcrt::server::CallContext call;
  call.client_address = "[::1]:50432";
  call.peer_name = "ZELQA\\alice";
  const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 5} +
                    std::chrono::hours{18} + std::chrono::minutes{40};
  EXPECT_EQ(FormatCallLine(when, call, std::chrono::milliseconds(42), "succeeded"),
            "2026-12-05T18:40:00Z call from [::1]:50432 account ZELQA\\alice op 0 42 ms "
            "succeeded\n");
  // Anonymous callers, and an outcome that tries to start a line of its own.
  EXPECT_EQ(FormatCallLine(when, {}, std::chrono::milliseconds(0), "failed: a\nforged"),
            "2026-12-05T18:40:00Z call from unknown account - op 0 0 ms failed: a forged\n");
  EXPECT_EQ(FormatRejectionLine(when, {"bind refused", "127.0.0.1:50432", "wrong\npassword"}),
            "2026-12-05T18:40:00Z bind refused from 127.0.0.1:50432: wrong password\n");
}

}  // namespace
}  // namespace zelqa::server
