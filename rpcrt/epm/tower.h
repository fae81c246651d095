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
inline constexpr uint8_t kProtocolNcacn = 0x0b;  // connection-oriented RPC
inline constexpr uint8_t kProtocolTcp = 0x07;
inline constexpr uint8_t kProtocolIp = 0x09;

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

}  // namespace rpcrt::epm
