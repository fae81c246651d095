// A server for the run time's tests: an echo interface whose operations answer with the
// request stub (0), a stub of the size the request names (1), or fail with the status the
// request names (2).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/client/binding.h"
#include "rpcrt/pdu/syntax.h"
#include "rpcrt/server/server.h"
#include "rpcrt/status.h"

namespace rpcrt::testing {

inline constexpr SyntaxId kEchoInterface{MakeUuid("5b3e1d6a-0c1f-4a7e-9a51-2b7f4c1d9e01"), 1, 0};
inline constexpr SyntaxId kOtherInterface{MakeUuid("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"), 2, 1};
inline constexpr uint16_t kOpEcho = 0;
inline constexpr uint16_t kOpSized = 1;
inline constexpr uint16_t kOpFail = 2;
inline constexpr uint16_t kOpPeerName = 3;
inline constexpr uint16_t kEchoOpCount = 4;

// Answers with the request stub.
std::vector<uint8_t> Echo(const server::CallContext& call);

std::unique_ptr<server::Server> StartEchoServer(const std::string& address = "127.0.0.1");

std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 1);
std::vector<uint8_t> U32Stub(uint32_t value);

// An unauthenticated binding to ncacn_ip_tcp:`host`[`port`].
std::unique_ptr<client::Binding> BindTo(uint16_t port, const std::string& host = "127.0.0.1");
// How a call of `opnum` ends: kOk, or the status of the RpcError it throws.
Status CallStatus(client::Binding& b, uint16_t opnum, std::span<const uint8_t> stub = {},
                  const SyntaxId& iface = kEchoInterface);

}  // namespace rpcrt::testing
