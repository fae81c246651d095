#include "rpcrt/client/endpoint_mapper.h"

#include "rpcrt/client/binding.h"
#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"
#include "rpcrt/status.h"

namespace rpcrt::client {
namespace {

// A mapper that never says "no more entries", with empty batches, is cut off after this many.
constexpr int kMaxLookupBatches = 4096;

std::unique_ptr<Binding> MapperBinding(const std::string& host, uint16_t mapper_port) {
  StringBinding sb;
  sb.protseq = std::string(kProtseqTcp);
  sb.network_address = host;
  sb.endpoint = std::to_string(mapper_port == 0 ? epm::kEpmPort : mapper_port);
  return std::make_unique<Binding>(sb);
}

}  // namespace

uint16_t EptMap(const std::string& host, uint16_t mapper_port, const SyntaxId& iface,
                unsigned com_timeout, uint32_t call_timeout_ms) {
  auto binding = MapperBinding(host, mapper_port);
  binding->SetComTimeout(com_timeout);
  binding->SetCallTimeout(call_timeout_ms);
  binding->SetDontLinger(true);
  epm::TcpTower wanted;
  wanted.interface_id = iface;
  epm::EptMapRequest request;
  request.map_tower = epm::EncodeTcpTower(wanted);
  Reply reply =
      binding->Call(epm::kEpmInterface, epm::kEptMapOpnum, epm::EncodeEptMapRequest(request));
  epm::EptMapResponse response = epm::DecodeEptMapResponse(reply.stub, reply.drep);
  if (response.status == epm::kEptSNotRegistered)
    throw RpcError(kEptNotRegistered, "interface is not registered with the endpoint mapper");
  if (response.status != 0)
    throw RpcError(kEptNotRegistered,
                   "endpoint mapper answered status " + std::to_string(response.status));
  for (const auto& octets : response.towers) {
    if (!octets) continue;
    auto tower = epm::DecodeTcpTower(*octets);
    if (tower && tower->interface_id == iface && tower->port != 0) return tower->port;
  }
  throw RpcError(kEptNotRegistered, "endpoint mapper returned no TCP tower for the interface");
}

std::vector<EndpointEntry> EptLookup(const std::string& host, uint16_t mapper_port,
                                     const AuthInfo& auth) {
  auto binding = MapperBinding(host, mapper_port);
  binding->SetDontLinger(true);
  if (auth.enabled()) binding->SetAuthInfo(auth);
  std::vector<EndpointEntry> out;
  epm::EptLookupRequest request;
  request.inquiry_type = epm::kInquiryAllElements;
  request.vers_option = epm::kVersAll;
  request.max_ents = kLookupBatch;
  size_t received = 0;  // reply stub octets so far
  size_t entries = 0;
  for (int batch = 0; batch < kMaxLookupBatches; ++batch) {
    Reply reply = binding->Call(epm::kEpmInterface, epm::kEptLookupOpnum,
                                epm::EncodeEptLookupRequest(request));
    received += reply.stub.size();
    if (received > kMaxLookupBytes) {
      throw RpcError(kProtocolError, "endpoint mapper sent more than " +
                                         std::to_string(kMaxLookupBytes) + " octets of entries");
    }
    epm::EptLookupResponse response = epm::DecodeEptLookupResponse(reply.stub, reply.drep);
    if (response.entries.size() > request.max_ents || response.max_ents > request.max_ents) {
      throw RpcError(kProtocolError, "endpoint mapper returned a batch of " +
                                         std::to_string(response.max_ents) + " entries for " +
                                         std::to_string(request.max_ents) + " asked");
    }
    entries += response.entries.size();
    if (entries > kMaxLookupEntries) {
      throw RpcError(kProtocolError, "endpoint mapper returned more than " +
                                         std::to_string(kMaxLookupEntries) + " entries");
    }
    if (response.status != 0 && response.status != epm::kEptSNotRegistered)
      throw RpcError(kEptNotRegistered,
                     "endpoint mapper answered status " + std::to_string(response.status));
    // The last batch may carry entries alongside "no more entries": read them first.
    for (const auto& entry : response.entries) {
      if (!entry.tower) continue;
      epm::TowerSummary tower = epm::SummarizeTower(*entry.tower);
      EndpointEntry e;
      e.interface_id = tower.interface_id.value_or(SyntaxId{});
      e.object = entry.object;
      e.port = tower.tcp_port;
      e.string_binding = std::move(tower.string_binding);
      e.annotation = entry.annotation;
      out.push_back(std::move(e));
    }
    if (response.status == epm::kEptSNotRegistered || response.entry_handle.IsNull()) return out;
    request.entry_handle = response.entry_handle;
  }
  throw RpcError(kProtocolError, "endpoint mapper never finished its lookup");
}

}  // namespace rpcrt::client
