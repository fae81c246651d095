#include "rpcrt/epm/tower.h"

#include <string>

#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/status.h"

namespace rpcrt::epm {

namespace {

void PutU16Le(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

// Floors are packed without alignment, so lengths are read octet by octet.
uint16_t GetU16Le(NdrReader& r) {
  auto b = r.ReadBytes(2);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint16_t FloorSize(size_t size) {
  if (size > 0xffff) throw RpcError(kErrorInvalidParameter, "tower floor too long");
  return static_cast<uint16_t>(size);
}

TowerFloor SyntaxFloor(const SyntaxId& s) {
  TowerFloor f;
  f.lhs.push_back(kProtocolUuid);
  PutU16Le(f.lhs, static_cast<uint16_t>(s.uuid.data1));
  PutU16Le(f.lhs, static_cast<uint16_t>(s.uuid.data1 >> 16));
  PutU16Le(f.lhs, s.uuid.data2);
  PutU16Le(f.lhs, s.uuid.data3);
  f.lhs.insert(f.lhs.end(), s.uuid.data4.begin(), s.uuid.data4.end());
  PutU16Le(f.lhs, s.version_major);
  PutU16Le(f.rhs, s.version_minor);
  return f;
}

std::optional<SyntaxId> ParseSyntaxFloor(const TowerFloor& f) {
  if (f.lhs.size() != 19 || f.lhs[0] != kProtocolUuid || f.rhs.size() != 2) return std::nullopt;
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(f.lhs[at] | f.lhs[at + 1] << 8); };
  SyntaxId s;
  s.uuid.data1 = uint32_t{u16(1)} | uint32_t{u16(3)} << 16;
  s.uuid.data2 = u16(5);
  s.uuid.data3 = u16(7);
  std::copy(f.lhs.begin() + 9, f.lhs.begin() + 17, s.uuid.data4.begin());
  s.version_major = u16(17);
  s.version_minor = static_cast<uint16_t>(f.rhs[0] | f.rhs[1] << 8);
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
  PutU16Le(out, FloorSize(floors.size()));
  for (const auto& f : floors) {
    PutU16Le(out, FloorSize(f.lhs.size()));
    out.insert(out.end(), f.lhs.begin(), f.lhs.end());
    PutU16Le(out, FloorSize(f.rhs.size()));
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
  floors.push_back(
      {{kProtocolTcp}, {static_cast<uint8_t>(tower.port >> 8), static_cast<uint8_t>(tower.port)}});
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
  t.port = static_cast<uint16_t>(floors[3].rhs[0] << 8 | floors[3].rhs[1]);
  std::copy(floors[4].rhs.begin(), floors[4].rhs.end(), t.address.begin());
  return t;
}

std::string ToStringBinding(const TcpTower& tower) {
  const auto& a = tower.address;
  return "ncacn_ip_tcp:" + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
         std::to_string(a[2]) + "." + std::to_string(a[3]) + "[" + std::to_string(tower.port) + "]";
}

}  // namespace rpcrt::epm
