#include "tests/rpcrt/test_server.h"

#include "rpcrt/ndr/ndr_reader.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::testing {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

std::vector<uint8_t> U32Stub(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> Echo(const server::CallContext& call) {
  return {call.stub.begin(), call.stub.end()};
}

std::unique_ptr<client::Binding> BindTo(uint16_t port, const std::string& host) {
  return std::make_unique<client::Binding>(
      client::StringBinding::Parse("ncacn_ip_tcp:" + host + "[" + std::to_string(port) + "]"));
}

Status CallStatus(client::Binding& b, uint16_t opnum, std::span<const uint8_t> stub,
                  const SyntaxId& iface) {
  return StatusOf([&] { b.Call(iface, opnum, stub); });
}

std::unique_ptr<server::Server> StartEchoServer(const std::string& address) {
  server::ServerOptions options;
  options.address = address;
  auto s = std::make_unique<server::Server>(options);
  s->RegisterInterface(kEchoInterface, kEchoOpCount, [](const server::CallContext& call) {
    switch (call.opnum) {
      case kOpEcho:
        return Echo(call);
      case kOpSized:
        return Pattern(NdrReader(call.stub, call.drep).ReadU32(), 7);
      case kOpFail:
        throw RpcError(NdrReader(call.stub, call.drep).ReadU32(), "failure asked for");
      default:
        return std::vector<uint8_t>(call.peer_name.begin(), call.peer_name.end());
    }
  });
  s->Start();
  return s;
}

}  // namespace rpcrt::testing
