#include "rpcrt/server/endpoint_mapper_server.h"

#include <arpa/inet.h>

#include <cstring>

#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"
#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/status.h"

namespace rpcrt::server {
namespace {

// Entry handles of a lookup in progress carry the index of the next entry.
constexpr uint32_t kHandleMarker = 0x45504d31;  // "EPM1"

ContextHandle HandleFor(uint32_t next) {
  ContextHandle h;
  h.uuid.data1 = kHandleMarker;
  StoreBe<uint32_t>(h.uuid.data4, next);
  h.uuid.data4[7] = 1;
  return h;
}

}  // namespace

EndpointMapperServer::EndpointMapperServer(ServerOptions options) : server_(options) {
  in_addr a{};
  if (!options.address.empty() && inet_pton(AF_INET, options.address.c_str(), &a) == 1)
    std::memcpy(address_.data(), &a, 4);
  server_.RegisterInterface(epm::kEpmInterface, 4, [this](const CallContext& call) {
    if (call.opnum == epm::kEptMapOpnum) return Map(call);
    if (call.opnum == epm::kEptLookupOpnum) return Lookup(call);
    throw RpcError(kProcnumOutOfRange, "endpoint mapper operation not served");
  });
}

void EndpointMapperServer::Register(const SyntaxId& iface, uint16_t port, std::string annotation,
                                    const Uuid& object) {
  base::MutexLock lock(mutex_);
  entries_.push_back(Entry{iface, port, std::move(annotation), object});
}

void EndpointMapperServer::Unregister(const SyntaxId& iface) {
  base::MutexLock lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.iface == iface; });
}

std::vector<uint8_t> EndpointMapperServer::TowerOf(const Entry& e) const {
  epm::TcpTower t;
  t.interface_id = e.iface;
  t.port = e.port;
  t.address = address_;
  return epm::EncodeTcpTower(t);
}

std::vector<uint8_t> EndpointMapperServer::Map(const CallContext& call) {
  epm::EptMapRequest request = epm::DecodeEptMapRequest(call.stub, call.drep);
  epm::EptMapResponse response;
  response.max_towers = request.max_towers;
  std::optional<epm::TcpTower> wanted;
  if (request.map_tower) wanted = epm::DecodeTcpTower(*request.map_tower);
  if (wanted) {
    base::MutexLock lock(mutex_);
    for (const auto& e : entries_) {
      if (response.towers.size() >= request.max_towers) break;
      // Same interface and major version, a minor version at least the one asked for.
      if (e.iface.uuid == wanted->interface_id.uuid &&
          e.iface.version_major == wanted->interface_id.version_major &&
          e.iface.version_minor >= wanted->interface_id.version_minor)
        response.towers.push_back(TowerOf(e));
    }
  }
  if (response.towers.empty()) response.status = epm::kEptSNotRegistered;
  return epm::EncodeEptMapResponse(response);
}

std::vector<uint8_t> EndpointMapperServer::Lookup(const CallContext& call) {
  epm::EptLookupRequest request = epm::DecodeEptLookupRequest(call.stub, call.drep);
  epm::EptLookupResponse response;
  response.max_ents = request.max_ents;
  uint32_t next = 0;
  if (!request.entry_handle.IsNull()) {
    const auto& d = request.entry_handle.uuid.data4;
    if (request.entry_handle.uuid.data1 != kHandleMarker)
      throw RpcError(kErrorInvalidHandle, "unknown lookup handle");
    next = LoadBe<uint32_t>(d);
  }
  base::MutexLock lock(mutex_);
  while (next < entries_.size() && response.entries.size() < request.max_ents) {
    const Entry& e = entries_[next++];
    response.entries.push_back(epm::EptEntry{e.object, TowerOf(e), e.annotation});
  }
  // A full batch leaves the lookup open even when nothing is left, and the next call ends it
  // with "no more entries" (Samba's rpcclient reads one entry a call and stops only there); a
  // shorter one closes it with success (impacket stops at the closed handle).
  if (response.entries.empty()) {
    response.status = epm::kEptSNotRegistered;
  } else if (response.entries.size() == request.max_ents) {
    response.entry_handle = HandleFor(next);
  }
  return epm::EncodeEptLookupResponse(response);
}

}  // namespace rpcrt::server
