// The client side of the hostile-server tests: a binding with a short call time-out, and one
// call reduced to its status and how long it took.
#pragma once

#include <chrono>
#include <memory>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "rpcrt/client/binding.h"
#include "rpcrt/status.h"
#include "tests/hostile/hostile_server.h"

namespace rpcrt::hostile {

inline constexpr uint32_t kCallTimeoutMs = 2000;
// A failure must come back within the time-out plus this much (loaded CI machines).
inline constexpr std::chrono::milliseconds kSlack{3000};
inline constexpr SyntaxId kProbeInterface{MakeUuid("7a1c3e55-90b2-4d6f-8e14-c3a9b0f2d611"), 1, 0};

inline std::unique_ptr<client::Binding> BindTo(uint16_t port, const client::AuthInfo& auth = {},
                                               uint32_t call_timeout_ms = kCallTimeoutMs) {
  auto b = std::make_unique<client::Binding>(
      client::StringBinding::Parse("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]"));
  b->SetAuthInfo(auth);
  b->SetCallTimeout(call_timeout_ms);
  b->SetComTimeout(client::kComTimeoutMin);
  return b;
}

struct Outcome {
  Status status = kOk;
  std::vector<uint8_t> stub;
  std::chrono::milliseconds took{0};
};

inline Outcome CallOnce(client::Binding& b, std::span<const uint8_t> stub) {
  Outcome o;
  auto start = std::chrono::steady_clock::now();
  try {
    o.stub = b.Call(kProbeInterface, 0, stub).stub;
  } catch (const RpcError& e) {
    o.status = e.status();
  }
  o.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  return o;
}

// A call that comes back with its own stub.
inline void ExpectEcho(client::Binding& b, const std::vector<uint8_t>& stub) {
  Outcome o = CallOnce(b, stub);
  EXPECT_EQ(o.status, kOk);
  EXPECT_EQ(o.stub, stub);
}

// The first call fails with `expected` within `within`, its connection is closed and not kept;
// the second call goes through on a new one.
inline void ExpectFailureThenFreshConnection(client::Binding& b, const HostileServer& server,
                                             Status expected, std::chrono::milliseconds within) {
  const auto stub = std::vector<uint8_t>(100, 0x3c);
  Outcome bad = CallOnce(b, stub);
  EXPECT_EQ(bad.status, expected);
  EXPECT_LT(bad.took, within);
  EXPECT_EQ(b.IdleConnectionsForTesting(), 0u);
  EXPECT_TRUE(server.WaitClosed(1)) << "the client kept the connection open";
  ExpectEcho(b, stub);
  EXPECT_EQ(server.accepted(), 2);
}

}  // namespace rpcrt::hostile
