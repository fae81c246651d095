// The retry loop against real failures of a real server: lost servers, dropped connections,
// faults, time-outs. The clock is replaced, so waits are recorded instead of slept.
#include <gmock/gmock.h>

#include <thread>

#include "client_fixture.h"
#include "exc/exceptions.h"
#include "exc/rpc_exc.h"
#include "rpc/do_rpc_method.h"
#include "rpc/proxy_rpc_invoker.h"
#include "rpcrt/status.h"
#include "tests/exc/what_of.h"

namespace zelqa::testing {
namespace {

using rpc::CDoRpcMethod;
using rpc::CProxyRpcInvoker;

class RetryTest : public ClientTest {
 protected:
  std::unique_ptr<CProxyRpcInvoker> MakeInvoker(uint16_t port, uint32_t timeout_s = 3600) {
    auto invoker = std::make_unique<CProxyRpcInvoker>();
    invoker->settings().Host = u"127.0.0.1";
    invoker->settings().Port = port;
    invoker->settings().ServiceName = kService;
    invoker->settings().RequestTimeout = timeout_s;
    invoker->LogonUser(kUser, kPassword);
    invoker->Connect();
    return invoker;
  }
  // Invokes DoRpc and returns the status of the raised rpc_exc_t (0 on success).
  uint32_t InvokeStatus(CProxyRpcInvoker& invoker, std::string* text = nullptr) {
    CDoRpcMethod method(u"a", u"b");
    try {
      invoker.Invoke(method);
      return 0;
    } catch (const exc::rpc_exc_t& e) {
      if (text) *text = e.what();
      return e.error_code();
    }
  }
};

TEST_F(RetryTest, FirstAttemptThatSucceedsLeavesNoRetryRecord) {
  auto invoker = MakeInvoker(port());
  EXPECT_EQ(InvokeStatus(*invoker), 0u);
  EXPECT_FALSE(Logged("RPC client failed"));
  EXPECT_FALSE(Logged("Retrying RPC call"));
}

TEST_F(RetryTest, LostServerReconnectsOnceAtOnceThenWaitsUntilTheLastAttempt) {
  auto invoker = MakeInvoker(port());
  EXPECT_EQ(InvokeStatus(*invoker), 0u);  // the binding is not fresh any more
  server().Stop();
  std::string text;
  EXPECT_EQ(InvokeStatus(*invoker, &text), 1722u);
  EXPECT_EQ(text,
            "The RPC server is unavailable.\r\n\nRPC function call failed. Function name: "
            "[DoRpc]. Target machine: [127.0.0.1:" +
                std::to_string(port()) + "].");
  // One reconnect, made at once; then waits before attempts 2 to 11.
  EXPECT_EQ(CountLogged("Reconnecting..."), 1u);
  EXPECT_EQ(CountLogged("ERR |RPC client failed to call method [DoRpc]"), 12u);
  EXPECT_EQ(CountLogged("RPC client failed to call method [DoRpc]. Sleep interval: [10000] MSec"),
            10u);
  for (int n = 1; n <= 11; ++n) {
    EXPECT_EQ(
        CountLogged("Retrying RPC call. Attempt: [" + std::to_string(n) + "], Method: [DoRpc]"), 1u)
        << n;
  }
  EXPECT_FALSE(Logged("Attempt: [12]"));
  EXPECT_EQ(clock().sleeps(), std::vector<DWORD>(10, 10000));
}

TEST_F(RetryTest, ServerBackDuringTheWaitsIsReachedAgain) {
  auto invoker = MakeInvoker(port());
  EXPECT_EQ(InvokeStatus(*invoker), 0u);
  server().Stop();
  clock().on_sleep = [&](size_t count) {
    if (count == 2) server().Start();
  };
  EXPECT_EQ(InvokeStatus(*invoker), 0u);
  clock().on_sleep = nullptr;
  EXPECT_TRUE(Logged("Retrying RPC call. Attempt: [2], Method: [DoRpc]"));
}

TEST_F(RetryTest, DroppedConnectionAfterTheRequestIsRetriedWithWaits) {
  auto invoker = MakeInvoker(port());
  server().FaultsForTesting().drop_after_read = true;
  std::string text;
  EXPECT_EQ(InvokeStatus(*invoker, &text), 1726u);
  EXPECT_FALSE(Logged("Reconnecting..."));
  // Retryable: a wait before each of the attempts 1 to 11.
  EXPECT_EQ(clock().sleeps(), std::vector<DWORD>(11, 10000));
  EXPECT_TRUE(Logged("Retrying RPC call. Attempt: [11], Method: [DoRpc]"));
  EXPECT_EQ(text.rfind("The remote procedure call failed.\r\n", 0), 0u) << text;
}

TEST_F(RetryTest, WaitsCountFromTheStartOfTheFailedAttempt) {
  // Every attempt takes 2500 ms of the clock and fails as retryable, so each wait is the rest
  // of the interval.
  SetHandler(
      [&](const std::u16string&, const std::u16string&, const auto&) -> server::DoRpcOutcome {
        clock().Advance(2500);
        throw std::runtime_error("busy");  // a handler failure: nca_s_fault_unspec, 1726
      });
  auto invoker = MakeInvoker(port());
  std::string text;
  EXPECT_EQ(InvokeStatus(*invoker, &text), 1726u) << text;
  EXPECT_EQ(clock().sleeps(), std::vector<DWORD>(11, 7500));
  EXPECT_EQ(CountLogged("Sleep interval: [7500] MSec"), 11u);
}

TEST_F(RetryTest, FaultsThatAreNotRetryableEndTheCallAtOnce) {
  auto invoker = MakeInvoker(port());
  server().FaultsForTesting().fault_status = 0x1c010003;  // nca_s_unk_if
  EXPECT_EQ(InvokeStatus(*invoker), 1717u);
  EXPECT_TRUE(clock().sleeps().empty());
  EXPECT_FALSE(Logged("Retrying RPC call"));
}

TEST_F(RetryTest, SlowServerBeyondTheCallTimeoutIsCancelledAndNotRetried) {
  auto invoker = MakeInvoker(port(), /*timeout_s=*/1);
  server().FaultsForTesting().delay_reply_ms = 3000;
  EXPECT_EQ(InvokeStatus(*invoker), 1818u);
  EXPECT_TRUE(clock().sleeps().empty());
  server().FaultsForTesting().delay_reply_ms = 0;
  EXPECT_EQ(InvokeStatus(*invoker), 0u);  // the cancelled call's connection was dropped
}

TEST_F(RetryTest, ReconnectThatFailsLeavesNoBindingForTheNextAttempt) {
  // Port 0: the reconnect asks an endpoint mapper that is not there.
  auto invoker = MakeInvoker(port());
  EXPECT_EQ(InvokeStatus(*invoker), 0u);
  invoker->settings().Port = 0;
  server().Stop();
  CDoRpcMethod method(u"a", u"b");
  EXPECT_THAT(exctest::WhatOf<exc::CZelqaInternalError>([&] { invoker->Invoke(method); }),
              ::testing::StartsWith("RPC connection was not initialized\n"));
  EXPECT_TRUE(Logged("RPC client failed to reestablish connection"));
  EXPECT_FALSE(invoker->connected());
}

}  // namespace
}  // namespace zelqa::testing
