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
  std::unique_ptr<server::Server> server_ = StartEchoServer(GetParam());
  std::unique_ptr<Binding> binding_ = BindTo(server_->port(), GetParam());
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
  EXPECT_EQ(binding->Call(kEchoInterface, kOpSized, U32Stub(10)).stub, Pattern(10, 7));
  auto named = BindTo(server->port(), "localhost");
  EXPECT_EQ(named->Call(kEchoInterface, kOpSized, U32Stub(1)).stub.size(), 1u);
}

// An echo server on loopback and an unauthenticated binding to it.
class EndToEndCalls : public ::testing::Test {
 protected:
  std::unique_ptr<server::Server> server_ = StartEchoServer();
  std::unique_ptr<Binding> binding_ = BindTo(server_->port());
};

TEST_F(EndToEndCalls, ThirtyTwoThreadsOnOneBinding) {
  std::atomic<int> good{0};
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 32; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 20; ++i) {
          auto stub = Pattern(static_cast<size_t>(t * 997 + i * 131), static_cast<uint8_t>(t));
          if (binding_->Call(kEchoInterface, kOpEcho, stub).stub == stub) ++good;
        }
      });
    }
  }
  EXPECT_EQ(good.load(), 32 * 20);
  // Concurrent calls open their own connections, and those are kept for reuse.
  EXPECT_GT(server_->accepted_connections(), 1u);
  EXPECT_LE(server_->accepted_connections(), 32u);
  EXPECT_EQ(binding_->IdleConnectionsForTesting(), server_->accepted_connections());
  // Every connection of the binding joined the association of the first one.
  EXPECT_EQ(server_->association_groups(), 1u);
  auto other = BindTo(server_->port());
  other->Call(kEchoInterface, kOpEcho, {});
  EXPECT_EQ(server_->association_groups(), 2u);
  EXPECT_NE(other->assoc_group(), binding_->assoc_group());
}

TEST_F(EndToEndCalls, EachFaultKindRaisesItsStatus) {
  // Operation number past the interface's last.
  EXPECT_EQ(CallStatus(*binding_, 99), kProcnumOutOfRange);
  // An interface the server does not know.
  EXPECT_EQ(CallStatus(*binding_, 0, {}, kOtherInterface), kUnknownIf);
  // Handler failures pass their status through, NCA codes come back as their Win32 status.
  EXPECT_EQ(CallStatus(*binding_, kOpFail, U32Stub(kErrorAccessDenied)), kErrorAccessDenied);
  EXPECT_EQ(CallStatus(*binding_, kOpFail, U32Stub(kBadStubData)), kBadStubData);
  EXPECT_EQ(CallStatus(*binding_, kOpFail, U32Stub(0x1c010014)), kServerTooBusy);
  // A handler that cannot read its stub.
  EXPECT_EQ(CallStatus(*binding_, kOpSized), kBadStubData);
  server_->FaultsForTesting().fault_status = 0x1c00000d;
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kCallCancelled);
  server_->FaultsForTesting().fault_status = 0;
  // None of that broke the connection: faults end calls, not associations.
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kOk);
  EXPECT_EQ(server_->accepted_connections(), 1u);
}

TEST(EndToEndRefusals, OversizedRequestIsRefusedAndTheConnectionKept) {
  server::ServerOptions options;
  options.max_request = 10000;
  server::Server server(options);
  server.RegisterInterface(kEchoInterface, 1, Echo);
  server.Start();
  auto binding = BindTo(server.port());
  EXPECT_EQ(CallStatus(*binding, kOpEcho, Pattern(30000)), kErrorOutOfMemory);
  auto fits = Pattern(10000);
  EXPECT_EQ(binding->Call(kEchoInterface, kOpEcho, fits).stub, fits);
  EXPECT_EQ(server.accepted_connections(), 1u);
}

TEST_F(EndToEndCalls, CallTimeoutCancelsAndClosesTheConnection) {
  binding_->SetCallTimeout(200);
  ASSERT_EQ(CallStatus(*binding_, kOpEcho), kOk);
  server_->FaultsForTesting().delay_reply_ms = 2000;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kCallCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(binding_->IdleConnectionsForTesting(), 0u);
  server_->FaultsForTesting().delay_reply_ms = 0;
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kOk);
  EXPECT_EQ(server_->accepted_connections(), 2u);
}

TEST_F(EndToEndCalls, DroppedConnectionsAndRefusals) {
  server_->FaultsForTesting().drop_after_read = true;
  // The request went out whole; whether it ran is unknown.
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kCallFailed);
  server_->FaultsForTesting().drop_after_read = false;
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kOk);

  // A connection that the server closed while idle is noticed and replaced.
  server_->FaultsForTesting().drop_before_read = true;
  EXPECT_NE(CallStatus(*binding_, kOpEcho), kOk);
  server_->FaultsForTesting().drop_before_read = false;
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kOk);

  server_->FaultsForTesting().refuse = true;
  EXPECT_EQ(CallStatus(*BindTo(server_->port()), kOpEcho), kServerUnavailable);
}

TEST_F(EndToEndCalls, StopAndRestartOnTheSamePort) {
  const uint16_t port = server_->port();
  ASSERT_EQ(CallStatus(*binding_, kOpEcho), kOk);
  server_->Stop();
  EXPECT_EQ(server_->open_connections(), 0u);
  Status down = CallStatus(*binding_, kOpEcho);
  // The idle connection was closed under us; either way the call cannot have run.
  EXPECT_TRUE(down == kServerUnavailable || down == kCallFailedDne || down == kCallFailed) << down;
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kServerUnavailable);
  server_->Start();
  EXPECT_EQ(server_->port(), port);
  EXPECT_EQ(CallStatus(*binding_, kOpEcho), kOk);
}

TEST(EndToEndRefusals, NobodyListening) {
  // A port that was free a moment ago: its listener is gone again.
  const uint16_t port = transport::TcpListener("127.0.0.1", 0).port();
  EXPECT_EQ(CallStatus(*BindTo(port), kOpEcho), kServerUnavailable);
  EXPECT_EQ(CallStatus(*BindTo(135, "no-such-host.invalid"), kOpEcho), kServerUnavailable);
}

TEST(EndToEndRefusals, ServerThatBreaksTheProtocol) {
  // A listener that answers a bind with garbage.
  transport::TcpListener listener("127.0.0.1", 0);
  std::jthread peer([&] {
    auto s = listener.Accept();
    if (!s) return;
    std::vector<uint8_t> buf(16);
    s->ReadExact(buf, transport::Deadline::AfterMs(5000));
    s->WriteAll(std::vector<uint8_t>(16, 0xee), transport::Deadline::AfterMs(5000));
    s->Shutdown();
  });
  EXPECT_EQ(CallStatus(*BindTo(listener.port()), kOpEcho), kProtocolError);
}

TEST(EndToEndLinger, DontLingerClosesAtFreeAndLingeringIsReused) {
  auto server = StartEchoServer();
  client::CloseLingeringConnectionsForTesting();
  // One call on a binding of its own, freed when the call is done.
  auto call_once = [&](bool unique, bool dont_linger) {
    auto b = BindTo(server->port());
    if (unique) b->SetUniqueBinding(true);
    if (dont_linger) b->SetDontLinger(true);
    return CallStatus(*b, kOpEcho);
  };
  ASSERT_EQ(call_once(/*unique=*/true, /*dont_linger=*/true), kOk);
  EXPECT_EQ(client::LingeringConnectionsForTesting(), 0u);
  ASSERT_EQ(call_once(false, false), kOk);
  EXPECT_EQ(client::LingeringConnectionsForTesting(), 1u);
  // A shared binding to the same server takes the lingering connection over...
  ASSERT_EQ(call_once(false, false), kOk);
  EXPECT_EQ(server->accepted_connections(), 2u);
  // ...a unique one never does.
  ASSERT_EQ(call_once(true, false), kOk);
  EXPECT_EQ(server->accepted_connections(), 3u);
  client::CloseLingeringConnectionsForTesting();
  EXPECT_EQ(client::LingeringConnectionsForTesting(), 0u);
}

}  // namespace
}  // namespace rpcrt
