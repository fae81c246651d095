// The server run time as the reference server uses it: how handler failures reach a client,
// who the handler is told is calling, the deadlines and request limits of a connection, and
// a prompt Stop.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "rpcrt/client/binding.h"
#include "rpcrt/pdu/fault_status.h"
#include "rpcrt/pdu/pdu.h"
#include "rpcrt/status.h"
#include "rpcrt/transport/fragment_stream.h"
#include "rpcrt/transport/tcp_socket.h"
#include "tests/rpcrt/test_server.h"

namespace rpcrt {
namespace {

using namespace testing;

TEST(ServerFaults, HandlerStatusesReachTheClientUnchanged) {
  // Each status a handler may raise must come back as itself, through the client's own table.
  for (Status status : {kCallFailed, kErrorAccessDenied, kErrorOutOfMemory, kServerTooBusy,
                        kBadStubData, kCallCancelled, kProcnumOutOfRange, Status{1234}}) {
    EXPECT_EQ(FaultStatusToStatus(server::HandlerFaultStatus(status)), status) << status;
  }
  auto server = StartEchoServer();
  auto binding = BindTo(server->port());
  EXPECT_EQ(CallStatus(*binding, kOpFail, U32Stub(kCallFailed)), kCallFailed);
  // The failure ended that call only: the connection serves the next one.
  EXPECT_EQ(CallStatus(*binding, kOpEcho), kOk);
  EXPECT_EQ(server->accepted_connections(), 1u);
}

TEST(ServerCallContext, HandlerSeesTheCallersAddress) {
  for (const std::string address : {"127.0.0.1", "::1"}) {
    server::ServerOptions options;
    options.address = address;
    server::Server server(options);
    std::string seen;
    server.RegisterInterface(kEchoInterface, 1, [&](const server::CallContext& call) {
      seen = call.client_address;
      return std::vector<uint8_t>{};
    });
    server.Start();
    BindTo(server.port(), address)->Call(kEchoInterface, 0, {});
    const std::string prefix = address == "::1" ? "[::1]:" : "127.0.0.1:";
    ASSERT_EQ(seen.rfind(prefix, 0), 0u) << seen;
    const int port = std::stoi(seen.substr(prefix.size()));
    EXPECT_GT(port, 0);
    EXPECT_NE(port, server.port());
  }
}

using transport::Deadline;
using transport::TcpSocket;
using Clock = std::chrono::steady_clock;

std::unique_ptr<server::Server> StartServer(server::ServerOptions options,
                                            security::AuthnLevel min_level = {}) {
  auto server = std::make_unique<server::Server>(options);
  server->RegisterInterface(
      kEchoInterface, 1,
      [](const server::CallContext& call) {
        return std::vector<uint8_t>(call.stub.begin(), call.stub.end());
      },
      min_level);
  server->Start();
  return server;
}

TcpSocket Connect(const server::Server& server) {
  return TcpSocket::Connect("127.0.0.1", server.port(), Deadline::AfterMs(5000));
}

// An anonymous bind of the echo interface, answered.
void BindAnonymously(TcpSocket& socket) {
  Pdu bind;
  bind.call_id = 1;
  Bind body;
  body.contexts.push_back(PresentationContext{0, kEchoInterface, {kNdrSyntax}});
  bind.body = body;
  socket.WriteAll(EncodePdu(bind), Deadline::AfterMs(5000));
  transport::FragmentReader reader(socket);
  ASSERT_TRUE(
      std::holds_alternative<BindAck>(DecodePdu(reader.Next(Deadline::AfterMs(5000)).bytes).body));
}

std::vector<uint8_t> RequestFragment(uint8_t flags, size_t stub_size, uint32_t call_id = 2) {
  Pdu pdu;
  pdu.call_id = call_id;
  pdu.flags = flags;
  Request request;
  request.alloc_hint = 64u << 20;
  request.stub.assign(stub_size, 0x5a);
  pdu.body = request;
  return EncodePdu(pdu);
}

// Time until the server closes the stream, or nullopt when it is still open after `wait_ms`.
std::optional<std::chrono::milliseconds> ClosedWithin(TcpSocket& socket, uint32_t wait_ms) {
  const auto start = Clock::now();
  const Deadline deadline = Deadline::AfterMs(wait_ms);
  uint8_t sink[4096];
  try {
    for (;;) socket.ReadSome(sink, deadline);
  } catch (const transport::TransportError& e) {
    if (e.kind() == transport::TransportError::Kind::kTimedOut) return std::nullopt;
  }
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

struct DeadlineCase {
  const char* name;
  uint32_t bind_ms, pdu_ms, idle_ms;
  bool bind;                  // the peer binds first
  std::vector<uint8_t> then;  // and then sends these bytes
  bool closed;                // within the test's wait
};

TEST(ServerDeadlines, EachWaitIsBounded) {
  constexpr uint32_t kShort = 300, kLong = 60000;
  const DeadlineCase cases[] = {
      {"SilentBeforeBind", kShort, kLong, kLong, false, {}, true},
      {"HeaderBegunBeforeBind", kShort, kLong, kLong, false, {5, 0}, true},
      // The bind deadline is over once the bind is done.
      {"BoundAndSilent", kShort, kLong, kLong, true, {}, false},
      {"IdleBetweenCalls", kLong, kLong, kShort, true, {}, true},
      {"FragmentBegunNotFinished", kLong, kShort, kLong, true,
       RequestFragment(kPfcFirstFrag | kPfcLastFrag, 100), true},
      {"RequestBegunNotFinished", kLong, kShort, kLong, true, RequestFragment(kPfcFirstFrag, 100),
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server::ServerOptions options;
    options.bind_timeout_ms = c.bind_ms;
    options.pdu_timeout_ms = c.pdu_ms;
    options.idle_timeout_ms = c.idle_ms;
    auto server = StartServer(options);
    TcpSocket socket = Connect(*server);
    if (c.bind) BindAnonymously(socket);
    std::vector<uint8_t> then = c.then;
    // A whole fragment minus its last byte.
    if (then.size() > 16) then.pop_back();
    if (!then.empty()) socket.WriteAll(then, Deadline::AfterMs(1000));
    const auto closed = ClosedWithin(socket, 1500);
    EXPECT_EQ(closed.has_value(), c.closed);
    if (closed) {
      EXPECT_GE(*closed, std::chrono::milliseconds(kShort - 100));
    }
  }
}

TEST(ServerRequestLimits, RefusedFromTheFirstFragmentAndNothingHeld) {
  const std::vector<uint8_t> first = RequestFragment(kPfcFirstFrag, 4000);
  const std::vector<uint8_t> middle = RequestFragment(0, 4000);
  struct Case {
    const char* name;
    server::ServerOptions options;
    security::AuthnLevel min_level;
    uint32_t fault;
  };
  server::ServerOptions small_anonymous, small_total;
  small_anonymous.max_unauthenticated_request = 10000;
  small_total.max_requests_held = 10000;
  const Case cases[] = {
      {"BelowTheInterfaceLevel", {}, security::AuthnLevel::kPktPrivacy, kErrorAccessDenied},
      {"AnonymousBeyondItsLimit", small_anonymous, {}, kNcaOutArgsTooBig},
      {"BeyondTheServerTotal", small_total, {}, kNcaServerTooBusy},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto server = StartServer(c.options, c.min_level);
    TcpSocket socket = Connect(*server);
    BindAnonymously(socket);
    socket.WriteAll(first, Deadline::AfterMs(1000));
    // The request never ends; the refusal comes anyway, and what follows is read past.
    transport::FragmentReader reader(socket);
    for (int i = 0; i < 20; ++i) socket.WriteAll(middle, Deadline::AfterMs(1000));
    Pdu answer = DecodePdu(reader.Next(Deadline::AfterMs(5000)).bytes);
    ASSERT_TRUE(std::holds_alternative<Fault>(answer.body));
    EXPECT_EQ(std::get<Fault>(answer.body).status, c.fault);
    EXPECT_EQ(server->requests_held(), 0u);
    // The stream is still in step: the next call on it is answered.
    socket.WriteAll(RequestFragment(kPfcLastFrag, 10), Deadline::AfterMs(1000));
    socket.WriteAll(RequestFragment(kPfcFirstFrag | kPfcLastFrag, 10, 3), Deadline::AfterMs(1000));
    EXPECT_EQ(DecodePdu(reader.Next(Deadline::AfterMs(5000)).bytes).call_id, 3u);
  }
}

TEST(ServerStop, ReturnsPromptlyWithIdleClientsConnected) {
  auto server = StartEchoServer();
  std::vector<std::unique_ptr<client::Binding>> bound;
  for (int i = 0; i < 4; ++i) {
    bound.push_back(BindTo(server->port()));
    ASSERT_EQ(CallStatus(*bound.back(), kOpEcho), kOk);
  }
  // Connected but silent, before any bind.
  std::vector<TcpSocket> silent;
  for (int i = 0; i < 4; ++i) silent.push_back(Connect(*server));
  // Mid-call, in a reply delay.
  server->FaultsForTesting().delay_reply_ms = 60000;
  std::thread waiting([&] { CallStatus(*BindTo(server->port()), kOpEcho); });
  while (server->open_connections() < 9) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  const auto start = std::chrono::steady_clock::now();
  server->Stop();
  const auto took = std::chrono::steady_clock::now() - start;
  waiting.join();
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(server->open_connections(), 0u);
}

}  // namespace
}  // namespace rpcrt
