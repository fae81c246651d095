// A server on loopback fed arbitrary client byte streams: it must answer or close, never
// crash, hang or leak.
#include <memory>

#include "rpcrt/server/server.h"
#include "rpcrt/status.h"
#include "rpcrt/transport/tcp_socket.h"

namespace {

constexpr rpcrt::SyntaxId kInterface{rpcrt::MakeUuid("12345678-1234-abcd-ef00-0123456789ab"), 1, 0};

rpcrt::server::Server& TheServer() {
  static auto* server = [] {
    auto* s = new rpcrt::server::Server(rpcrt::server::ServerOptions{});
    s->RegisterInterface(kInterface, 2, [](const rpcrt::server::CallContext& call) {
      if (call.opnum == 1) throw rpcrt::RpcError(rpcrt::kBadStubData, "asked to fail");
      return std::vector<uint8_t>(call.stub.begin(), call.stub.end());
    });
    s->Start();
    return s;
  }();
  return *server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using rpcrt::transport::Deadline;
  uint16_t port = TheServer().port();
  try {
    auto socket = rpcrt::transport::TcpSocket::Connect("127.0.0.1", port, Deadline::AfterMs(2000));
    socket.WriteAll({data, size}, Deadline::AfterMs(2000));
    socket.ShutdownWrite();
    uint8_t buf[4096];
    // The server has the whole stream and its end: it must finish with it promptly.
    for (;;) socket.ReadSome(buf, Deadline::AfterMs(5000));
  } catch (const rpcrt::transport::TransportError& e) {
    if (e.kind() == rpcrt::transport::TransportError::Kind::kTimedOut) __builtin_trap();
  }
  return 0;
}
