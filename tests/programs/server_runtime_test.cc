// The server run time as the reference server uses it: how handler failures reach a client,
// who the handler is told is calling, the connection limit, and a prompt Stop.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rpcrt/client/binding.h"
#include "rpcrt/client/call_status.h"
#include "rpcrt/status.h"
#include "rpcrt/transport/tcp_socket.h"
#include "tests/rpcrt/test_server.h"

namespace rpcrt {
namespace {

using testing::kEchoInterface;
using testing::kOpEcho;
using testing::kOpFail;
using testing::U32Stub;

std::unique_ptr<client::Binding> BindTo(uint16_t port) {
  return std::make_unique<client::Binding>(
      client::StringBinding::Parse("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]"));
}

Status CallStatus(client::Binding& b, uint16_t opnum, std::span<const uint8_t> stub = {}) {
  try {
    b.Call(kEchoInterface, opnum, stub);
    return kOk;
  } catch (const RpcError& e) {
    return e.status();
  }
}

TEST(ServerFaults, HandlerStatusesReachTheClientUnchanged) {
  // Each status a handler may raise must come back as itself, through the client's own table.
  for (Status status : {kCallFailed, kErrorAccessDenied, kErrorOutOfMemory, kServerTooBusy,
                        kBadStubData, kCallCancelled, kProcnumOutOfRange, Status{1234}}) {
    EXPECT_EQ(client::StatusFromFault(server::HandlerFaultStatus(status)), status) << status;
  }
  auto server = testing::StartEchoServer();
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
    client::Binding binding(client::StringBinding::Parse("ncacn_ip_tcp:" + address + "[" +
                                                         std::to_string(server.port()) + "]"));
    binding.Call(kEchoInterface, 0, {});
    const std::string prefix = address == "::1" ? "[::1]:" : "127.0.0.1:";
    ASSERT_EQ(seen.rfind(prefix, 0), 0u) << seen;
    const int port = std::stoi(seen.substr(prefix.size()));
    EXPECT_GT(port, 0);
    EXPECT_NE(port, server.port());
  }
}

TEST(ServerLimits, ConnectionsBeyondTheLimitAreClosedAndLaterOnesServed) {
  server::ServerOptions options;
  options.max_connections = 2;
  server::Server server(options);
  server.RegisterInterface(kEchoInterface, 1,
                           [](const server::CallContext&) { return std::vector<uint8_t>{}; });
  server.Start();
  auto first = BindTo(server.port());
  auto second = BindTo(server.port());
  ASSERT_EQ(CallStatus(*first, kOpEcho), kOk);
  ASSERT_EQ(CallStatus(*second, kOpEcho), kOk);
  auto third = BindTo(server.port());
  EXPECT_EQ(CallStatus(*third, kOpEcho), kServerUnavailable);
  EXPECT_EQ(server.refused_connections(), 1u);

  first.reset();  // its idle connection closes; the server counts it gone once served out
  Status status = kServerUnavailable;
  for (int i = 0; i < 100 && status != kOk; ++i) {
    status = CallStatus(*third, kOpEcho);
    if (status != kOk) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(status, kOk);
}

TEST(ServerStop, ReturnsPromptlyWithIdleClientsConnected) {
  auto server = testing::StartEchoServer();
  std::vector<std::unique_ptr<client::Binding>> bound;
  for (int i = 0; i < 4; ++i) {
    bound.push_back(BindTo(server->port()));
    ASSERT_EQ(CallStatus(*bound.back(), kOpEcho), kOk);
  }
  // Connected but silent, before any bind.
  std::vector<transport::TcpSocket> silent;
  for (int i = 0; i < 4; ++i)
    silent.push_back(transport::TcpSocket::Connect("127.0.0.1", server->port(),
                                                   transport::Deadline::AfterMs(5000)));
  // Mid-call, in a reply delay.
  server->faults().delay_reply_ms = 60000;
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
