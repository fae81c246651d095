// Calls over loopback TCP between a client binding and a server in this process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "rpcrt/client/binding.h"
#include "rpcrt/client/client_connection.h"
#include "rpcrt/server/transport/tcp_listener.h"
#include "rpcrt/status.h"
#include "tests/rpcrt/test_server.h"

namespace rpcrt {
namespace {

using client::Binding;
using namespace testing;

// The largest stub of one unauthenticated request fragment at the offered size.
constexpr size_t kOneFragment = client::kClientMaxFrag - 24;

class EndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    server_ = StartEchoServer(GetParam());
    binding_ = BindTo(server_->port(), GetParam());
  }
  std::unique_ptr<server::Server> server_;
  std::unique_ptr<Binding> binding_;
};

TEST_P(EndToEnd, StubsOfEverySizeArriveIntact) {
  for (size_t size : {size_t{0}, size_t{1}, kOneFragment - 1, kOneFragment, kOneFragment + 1,
                      3 * kOneFragment, size_t{200000}}) {
    auto stub = Pattern(size, static_cast<uint8_t>(size));
    auto reply = binding_->Call(kEchoInterface, kOpEcho, stub);
    EXPECT_EQ(reply.stub, stub) << "size " << size;
    EXPECT_EQ(reply.drep, kLocalDataRep);
  }
  // All of it over one connection, reused call after call.
  EXPECT_EQ(server_->accepted_connections(), 1u);
}

TEST_P(EndToEnd, SixteenMebibytesBothWays) {
  auto stub = Pattern(16u << 20, 3);
  auto reply = binding_->Call(kEchoInterface, kOpEcho, stub);
  EXPECT_EQ(reply.stub.size(), stub.size());
  EXPECT_TRUE(reply.stub == stub);
}

INSTANTIATE_TEST_SUITE_P(Loopback, EndToEnd, ::testing::Values("127.0.0.1", "::1"),
                         [](const auto& info) { return info.param == "::1" ? "IPv6" : "IPv4"; });

TEST(EndToEndMisc, EmptyAddressMeansTheLocalMachine) {
  auto server = StartEchoServer("");
  auto binding = BindTo(server->port(), "");
  auto reply = binding->Call(kEchoInterface, kOpSized, U32Stub(10));
  EXPECT_EQ(reply.stub, Pattern(10, 7));
  auto named = BindTo(server->port(), "localhost");
  EXPECT_EQ(named->Call(kEchoInterface, kOpSized, U32Stub(1)).stub.size(), 1u);
}

TEST(EndToEndMisc, ThirtyTwoThreadsOnOneBinding) {
  auto server = StartEchoServer();
  auto binding = BindTo(server->port());
  std::atomic<int> good{0};
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 32; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 20; ++i) {
          auto stub = Pattern(static_cast<size_t>(t * 997 + i * 131), static_cast<uint8_t>(t));
          if (binding->Call(kEchoInterface, kOpEcho, stub).stub == stub) ++good;
        }
      });
    }
  }
  EXPECT_EQ(good.load(), 32 * 20);
  // Concurrent calls open their own connections, and those are kept for reuse.
  EXPECT_GT(server->accepted_connections(), 1u);
  EXPECT_LE(server->accepted_connections(), 32u);
  EXPECT_EQ(binding->IdleConnectionsForTesting(), server->accepted_connections());
  // Every connection of the binding joined the association of the first one.
  EXPECT_EQ(server->association_groups(), 1u);
  auto other = BindTo(server->port());
  other->Call(kEchoInterface, kOpEcho, {});
  EXPECT_EQ(server->association_groups(), 2u);
  EXPECT_NE(other->assoc_group(), binding->assoc_group());
}

TEST(EndToEndFaults, EachFaultKindRaisesItsStatus) {
  auto server = StartEchoServer();
  auto binding = BindTo(server->port());
  // Operation number past the interface's last.
  EXPECT_EQ(CallStatus(*binding, 99), kProcnumOutOfRange);
  // An interface the server does not know.
  EXPECT_EQ(CallStatus(*binding, 0, {}, kOtherInterface), kUnknownIf);
  // Handler failures pass their status through, NCA codes come back as their Win32 status.
  EXPECT_EQ(CallStatus(*binding, kOpFail, U32Stub(kErrorAccessDenied)), kErrorAccessDenied);
  EXPECT_EQ(CallStatus(*binding, kOpFail, U32Stub(kBadStubData)), kBadStubData);
  EXPECT_EQ(CallStatus(*binding, kOpFail, U32Stub(0x1c010014)), kServerTooBusy);
  // A handler that cannot read its stub.
  EXPECT_EQ(CallStatus(*binding, kOpSized), kBadStubData);
  server->FaultsForTesting().fault_status = 0x1c00000d;
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kCallCancelled);
  server->FaultsForTesting().fault_status = 0;
  // None of that broke the connection: faults end calls, not associations.
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kOk);
  EXPECT_EQ(server->accepted_connections(), 1u);
}

TEST(EndToEndFaults, OversizedRequestIsRefusedAndTheConnectionKept) {
  server::ServerOptions options;
  options.max_request = 10000;
  server::Server server(options);
  server.RegisterInterface(kEchoInterface, 1, [](const server::CallContext& call) {
    return std::vector<uint8_t>(call.stub.begin(), call.stub.end());
  });
  server.Start();
  auto binding = BindTo(server.port());
  auto big = Pattern(30000);
  EXPECT_EQ(CallStatus(*binding, kOpEcho, big), kErrorOutOfMemory);
  auto fits = Pattern(10000);
  EXPECT_EQ(binding->Call(kEchoInterface, kOpEcho, fits).stub, fits);
  EXPECT_EQ(server.accepted_connections(), 1u);
}

TEST(EndToEndFaults, CallTimeoutCancelsAndClosesTheConnection) {
  auto server = StartEchoServer();
  auto binding = BindTo(server->port());
  binding->SetCallTimeout(200);
  ASSERT_EQ(CallStatus(*binding, kOpEcho), kOk);
  server->FaultsForTesting().delay_reply_ms = 2000;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kCallCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(binding->IdleConnectionsForTesting(), 0u);
  server->FaultsForTesting().delay_reply_ms = 0;
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kOk);
  EXPECT_EQ(server->accepted_connections(), 2u);
}

TEST(EndToEndFaults, DroppedConnectionsAndRefusals) {
  auto server = StartEchoServer();
  auto binding = BindTo(server->port());
  server->FaultsForTesting().drop_after_read = true;
  // The request went out whole; whether it ran is unknown.
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kCallFailed);
  server->FaultsForTesting().drop_after_read = false;
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kOk);

  // A connection that the server closed while idle is noticed and replaced.
  server->FaultsForTesting().drop_before_read = true;
  EXPECT_NE(CallStatus(*binding, kOpEcho), kOk);
  server->FaultsForTesting().drop_before_read = false;
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kOk);

  server->FaultsForTesting().refuse = true;
  auto fresh = BindTo(server->port());
  EXPECT_EQ(CallStatus(*fresh, kOpEcho), kServerUnavailable);
}

TEST(EndToEndFaults, StopAndRestartOnTheSamePort) {
  auto server = StartEchoServer();
  uint16_t port = server->port();
  auto binding = BindTo(port);
  ASSERT_EQ(CallStatus(*binding, kOpEcho), kOk);
  server->Stop();
  EXPECT_EQ(server->open_connections(), 0u);
  Status down = CallStatus(*binding, kOpEcho);
  // The idle connection was closed under us; either way the call cannot have run.
  EXPECT_TRUE(down == kServerUnavailable || down == kCallFailedDne || down == kCallFailed) << down;
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kServerUnavailable);
  server->Start();
  EXPECT_EQ(server->port(), port);
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kOk);
}

TEST(EndToEndFaults, NobodyListening) {
  uint16_t port;
  {
    transport::TcpListener probe("127.0.0.1", 0);
    port = probe.port();
  }
  auto binding = BindTo(port);
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kServerUnavailable);
  auto nowhere = BindTo(135, "no-such-host.invalid");
  EXPECT_EQ(CallStatus(*nowhere, kOpEcho), kServerUnavailable);
}

TEST(EndToEndFaults, ServerThatBreaksTheProtocol) {
  // A listener that answers a bind with garbage.
  transport::TcpListener listener("127.0.0.1", 0);
  std::jthread peer([&] {
    auto s = listener.Accept();
    if (!s) return;
    std::vector<uint8_t> buf(16);
    s->ReadExact(buf, transport::Deadline::AfterMs(5000));
    std::vector<uint8_t> junk(16, 0xee);
    s->WriteAll(junk, transport::Deadline::AfterMs(5000));
    s->Shutdown();
  });
  auto binding = BindTo(listener.port());
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kProtocolError);
}

TEST(EndToEndLinger, DontLingerClosesAtFreeAndLingeringIsReused) {
  auto server = StartEchoServer();
  client::CloseLingeringConnectionsForTesting();
  {
    auto b = BindTo(server->port());
    b->SetUniqueBinding(true);
    b->SetDontLinger(true);
    ASSERT_EQ(CallStatus(*b, kOpEcho), kOk);
  }
  EXPECT_EQ(client::LingeringConnectionsForTesting(), 0u);
  {
    auto b = BindTo(server->port());
    ASSERT_EQ(CallStatus(*b, kOpEcho), kOk);
  }
  EXPECT_EQ(client::LingeringConnectionsForTesting(), 1u);
  // A shared binding to the same server takes the lingering connection over...
  {
    auto b = BindTo(server->port());
    ASSERT_EQ(CallStatus(*b, kOpEcho), kOk);
    EXPECT_EQ(server->accepted_connections(), 2u);
  }
  // ...a unique one never does.
  {
    auto b = BindTo(server->port());
    b->SetUniqueBinding(true);
    ASSERT_EQ(CallStatus(*b, kOpEcho), kOk);
    EXPECT_EQ(server->accepted_connections(), 3u);
  }
  client::CloseLingeringConnectionsForTesting();
  EXPECT_EQ(client::LingeringConnectionsForTesting(), 0u);
}

}  // namespace
}  // namespace rpcrt
