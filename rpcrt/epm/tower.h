// Protocol towers: the floors that describe how to reach an interface (interface and transfer
// syntax, the connection-oriented protocol, TCP port, IPv4 address), as the endpoint mapper
// stores and returns them. Tower octets are little-endian whatever the stub's representation,
// except the port and the address, which are in network order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/pdu/syntax.h"
#include "rpcrt/status.h"

namespace rpcrt::epm {

// Protocol identifiers of the floors' left-hand sides.
inline constexpr uint8_t kProtocolUuid = 0x0d;
inline constexpr uint8_t kProtocolNcadg = 0x0a;    // connectionless RPC
inline constexpr uint8_t kProtocolNcacn = 0x0b;    // connection-oriented RPC
inline constexpr uint8_t kProtocolNcalrpc = 0x0c;  // local RPC
inline constexpr uint8_t kProtocolTcp = 0x07;
inline constexpr uint8_t kProtocolUdp = 0x08;
inline constexpr uint8_t kProtocolIp = 0x09;           // 4 octets IPv4, or 16 octets IPv6
inline constexpr uint8_t kProtocolSmbPipe = 0x0f;      // named pipe name, as "\PIPE\name"
inline constexpr uint8_t kProtocolLocalName = 0x10;    // ncalrpc endpoint name
inline constexpr uint8_t kProtocolNetbiosHost = 0x11;  // named pipe host, as "\\HOST"
inline constexpr uint8_t kProtocolHttp = 0x1f;

struct TowerFloor {
  std::vector<uint8_t> lhs;
  std::vector<uint8_t> rhs;
  friend bool operator==(const TowerFloor&, const TowerFloor&) = default;
};

// The floor list to and from the tower octet string (floor count, then per floor the
// lhs length, lhs, rhs length, rhs). Decoding throws RpcError(kBadStubData) when a count or
// length runs past the end.
std::vector<uint8_t> EncodeTowerFloors(const std::vector<TowerFloor>& floors);
std::vector<TowerFloor> DecodeTowerFloors(std::span<const uint8_t> octets);

// The five-floor tower of an interface reachable over ncacn_ip_tcp.
struct TcpTower {
  SyntaxId interface_id;
  SyntaxId transfer_syntax = kNdrSyntax;
  uint16_t port = 0;
  std::array<uint8_t, 4> address{};  // IPv4, in the order it is written (1.2.3.4 = {1,2,3,4})
  friend bool operator==(const TcpTower&, const TcpTower&) = default;
};

std::vector<uint8_t> EncodeTcpTower(const TcpTower& tower);
// nullopt if the tower is well formed but does not describe ncacn_ip_tcp over IPv4; throws
// RpcError(kBadStubData) if malformed.
std::optional<TcpTower> DecodeTcpTower(std::span<const uint8_t> octets);

// "ncacn_ip_tcp:1.2.3.4[135]".
std::string ToStringBinding(const TcpTower& tower);

// Any tower as a listing shows it: the interface of its first floor (none when that is not a
// syntax floor) and the string binding of the floors after the syntax floors:
// "ncacn_ip_tcp:ADDRESS[port]" (IPv4 or IPv6), "ncacn_http:ADDRESS[port]",
// "ncadg_ip_udp:ADDRESS[port]", "ncacn_np:\\HOST[\pipe\name]", "ncalrpc:[name]", and for
// anything else "unknown:[LHS:RHS ...]", each floor's octets in hexadecimal. Names keep only
// printable ASCII (others become '?'). Throws RpcError(kBadStubData) when malformed.
struct TowerSummary {
  std::optional<SyntaxId> interface_id;
  uint16_t tcp_port = 0;  // of an ncacn_ip_tcp tower
  std::string string_binding;
};
TowerSummary SummarizeTower(std::span<const uint8_t> octets);

}  // namespace rpcrt::epm
