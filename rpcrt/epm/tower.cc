#include "rpcrt/epm/tower.h"

#include <arpa/inet.h>

#include <string>

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/status.h"

namespace rpcrt::epm {

namespace {

// Floors are packed without alignment, so lengths are read octet by octet.
uint16_t GetU16Le(NdrReader& r) {
  return LoadLe<uint16_t>(r.ReadBytes(2));
}

uint16_t FloorSize(size_t size) {
  if (size > 0xffff) throw RpcError(kErrorInvalidParameter, "tower floor too long");
  return static_cast<uint16_t>(size);
}

TowerFloor SyntaxFloor(const SyntaxId& s) {
  TowerFloor f;
  f.lhs.push_back(kProtocolUuid);
  AppendLe<uint32_t>(f.lhs, s.uuid.data1);
  AppendLe<uint16_t>(f.lhs, s.uuid.data2);
  AppendLe<uint16_t>(f.lhs, s.uuid.data3);
  f.lhs.insert(f.lhs.end(), s.uuid.data4.begin(), s.uuid.data4.end());
  AppendLe<uint16_t>(f.lhs, s.version_major);
  AppendLe<uint16_t>(f.rhs, s.version_minor);
  return f;
}

std::optional<SyntaxId> ParseSyntaxFloor(const TowerFloor& f) {
  if (f.lhs.size() != 19 || f.lhs[0] != kProtocolUuid || f.rhs.size() != 2) return std::nullopt;
  const std::span<const uint8_t> lhs = f.lhs;
  SyntaxId s;
  s.uuid.data1 = LoadLe<uint32_t>(lhs.subspan(1));
  s.uuid.data2 = LoadLe<uint16_t>(lhs.subspan(5));
  s.uuid.data3 = LoadLe<uint16_t>(lhs.subspan(7));
  std::copy(f.lhs.begin() + 9, f.lhs.begin() + 17, s.uuid.data4.begin());
  s.version_major = LoadLe<uint16_t>(lhs.subspan(17));
  s.version_minor = LoadLe<uint16_t>(f.rhs);
  return s;
}

bool IsProtocolFloor(const TowerFloor& f, uint8_t protocol, size_t rhs_size) {
  return f.lhs.size() == 1 && f.lhs[0] == protocol && f.rhs.size() == rhs_size;
}

// The connection-oriented protocol floor's right-hand side (its minor version) is two octets,
// or none: Wine's RPCRT4 sends it empty.
bool IsNcacnFloor(const TowerFloor& f) {
  return IsProtocolFloor(f, kProtocolNcacn, 2) || IsProtocolFloor(f, kProtocolNcacn, 0);
}

}  // namespace

std::vector<uint8_t> EncodeTowerFloors(const std::vector<TowerFloor>& floors) {
  std::vector<uint8_t> out;
  AppendLe<uint16_t>(out, FloorSize(floors.size()));
  for (const auto& f : floors) {
    AppendLe<uint16_t>(out, FloorSize(f.lhs.size()));
    out.insert(out.end(), f.lhs.begin(), f.lhs.end());
    AppendLe<uint16_t>(out, FloorSize(f.rhs.size()));
    out.insert(out.end(), f.rhs.begin(), f.rhs.end());
  }
  return out;
}

std::vector<TowerFloor> DecodeTowerFloors(std::span<const uint8_t> octets) {
  NdrReader r(octets, kLocalDataRep, kBadStubData);
  uint16_t count = GetU16Le(r);
  r.Require(count, 4);  // every floor has two length fields at least
  std::vector<TowerFloor> floors(count);
  for (auto& f : floors) {
    auto lhs = r.ReadBytes(GetU16Le(r));
    f.lhs.assign(lhs.begin(), lhs.end());
    auto rhs = r.ReadBytes(GetU16Le(r));
    f.rhs.assign(rhs.begin(), rhs.end());
  }
  return floors;
}

std::vector<uint8_t> EncodeTcpTower(const TcpTower& tower) {
  std::vector<TowerFloor> floors;
  floors.push_back(SyntaxFloor(tower.interface_id));
  floors.push_back(SyntaxFloor(tower.transfer_syntax));
  floors.push_back({{kProtocolNcacn}, {0, 0}});
  TowerFloor port{{kProtocolTcp}, {}};
  AppendBe<uint16_t>(port.rhs, tower.port);
  floors.push_back(std::move(port));
  floors.push_back({{kProtocolIp}, {tower.address.begin(), tower.address.end()}});
  return EncodeTowerFloors(floors);
}

std::optional<TcpTower> DecodeTcpTower(std::span<const uint8_t> octets) {
  std::vector<TowerFloor> floors = DecodeTowerFloors(octets);
  if (floors.size() < 5) return std::nullopt;
  auto iface = ParseSyntaxFloor(floors[0]);
  auto transfer = ParseSyntaxFloor(floors[1]);
  if (!iface || !transfer) return std::nullopt;
  if (!IsNcacnFloor(floors[2]) || !IsProtocolFloor(floors[3], kProtocolTcp, 2) ||
      !IsProtocolFloor(floors[4], kProtocolIp, 4)) {
    return std::nullopt;
  }
  TcpTower t;
  t.interface_id = *iface;
  t.transfer_syntax = *transfer;
  t.port = LoadBe<uint16_t>(floors[3].rhs);
  std::copy(floors[4].rhs.begin(), floors[4].rhs.end(), t.address.begin());
  return t;
}

std::string ToStringBinding(const TcpTower& tower) {
  const auto& a = tower.address;
  return "ncacn_ip_tcp:" + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
         std::to_string(a[2]) + "." + std::to_string(a[3]) + "[" + std::to_string(tower.port) + "]";
}

namespace {

std::string Hex(const std::vector<uint8_t>& octets) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : octets) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xf];
  }
  return out;
}

// A name floor's text: up to its first NUL, printable ASCII only.
std::string FloorText(const std::vector<uint8_t>& rhs) {
  std::string out;
  for (uint8_t b : rhs) {
    if (b == 0) break;
    out += b >= 0x20 && b < 0x7f ? static_cast<char>(b) : '?';
  }
  return out;
}

bool Is(const TowerFloor& f, uint8_t protocol) {
  return f.lhs.size() == 1 && f.lhs[0] == protocol;
}

std::optional<std::string> IpAddress(const TowerFloor& f) {
  if (!Is(f, kProtocolIp)) return std::nullopt;
  if (f.rhs.size() == 4) {
    return std::to_string(f.rhs[0]) + "." + std::to_string(f.rhs[1]) + "." +
           std::to_string(f.rhs[2]) + "." + std::to_string(f.rhs[3]);
  }
  if (f.rhs.size() != 16) return std::nullopt;
  char text[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, f.rhs.data(), text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text);
}

std::optional<uint16_t> Port(const TowerFloor& f, uint8_t protocol) {
  if (!Is(f, protocol) || f.rhs.size() != 2) return std::nullopt;
  return LoadBe<uint16_t>(f.rhs);
}

// "protseq:ADDRESS[port]" for an RPC floor, a port floor and an address floor.
std::optional<std::string> AddressBinding(std::span<const TowerFloor> f, uint8_t rpc,
                                          uint8_t port_protocol, const char* protseq,
                                          uint16_t* port_out) {
  if (f.size() != 3 || !Is(f[0], rpc)) return std::nullopt;
  const auto port = Port(f[1], port_protocol);
  const auto address = IpAddress(f[2]);
  if (!port || !address) return std::nullopt;
  if (port_out != nullptr) *port_out = *port;
  return std::string(protseq) + ":" + *address + "[" + std::to_string(*port) + "]";
}

std::optional<std::string> PipeBinding(std::span<const TowerFloor> f) {
  if (f.size() < 2 || f.size() > 3 || !Is(f[0], kProtocolNcacn) || !Is(f[1], kProtocolSmbPipe))
    return std::nullopt;
  std::string host;
  if (f.size() == 3) {
    if (!Is(f[2], kProtocolNetbiosHost)) return std::nullopt;
    host = FloorText(f[2].rhs);
  }
  return "ncacn_np:" + host + "[" + FloorText(f[1].rhs) + "]";
}

std::optional<std::string> LocalBinding(std::span<const TowerFloor> f) {
  if (f.size() != 2 || !Is(f[0], kProtocolNcalrpc) || !Is(f[1], kProtocolLocalName))
    return std::nullopt;
  return "ncalrpc:[" + FloorText(f[1].rhs) + "]";
}

}  // namespace

TowerSummary SummarizeTower(std::span<const uint8_t> octets) {
  const std::vector<TowerFloor> floors = DecodeTowerFloors(octets);
  TowerSummary summary;
  size_t first = 0;
  if (!floors.empty()) summary.interface_id = ParseSyntaxFloor(floors[0]);
  while (first < floors.size() && first < 2 && ParseSyntaxFloor(floors[first])) ++first;
  const std::span<const TowerFloor> rest(floors.data() + first, floors.size() - first);

  std::optional<std::string> binding =
      AddressBinding(rest, kProtocolNcacn, kProtocolTcp, "ncacn_ip_tcp", &summary.tcp_port);
  if (!binding)
    binding = AddressBinding(rest, kProtocolNcacn, kProtocolHttp, "ncacn_http", nullptr);
  if (!binding)
    binding = AddressBinding(rest, kProtocolNcadg, kProtocolUdp, "ncadg_ip_udp", nullptr);
  if (!binding) binding = PipeBinding(rest);
  if (!binding) binding = LocalBinding(rest);
  if (!binding) {
    std::string text = "unknown:[";
    for (size_t i = 0; i < rest.size(); ++i) {
      if (i != 0) text += ' ';
      text += Hex(rest[i].lhs) + ":" + Hex(rest[i].rhs);
    }
    binding = text + "]";
  }
  summary.string_binding = std::move(*binding);
  return summary;
}

}  // namespace rpcrt::epm
