// The endpoint mapper's operations ept_lookup and ept_map: their NDR request and response
// stubs, encoded and decoded for both the client and the server side.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/ndr/context_handle.h"
#include "rpcrt/ndr/data_rep.h"
#include "rpcrt/ndr/uuid.h"
#include "rpcrt/pdu/syntax.h"
#include "rpcrt/status.h"

namespace rpcrt::epm {

inline constexpr SyntaxId kEpmInterface{MakeUuid("e1af8308-5d1f-11c9-91a4-08002b14a0fa"), 3, 0};
inline constexpr uint16_t kEpmPort = 135;
inline constexpr uint16_t kEptLookupOpnum = 2;
inline constexpr uint16_t kEptMapOpnum = 3;

// DCE status of a lookup or map that found nothing (ept_s_not_registered).
inline constexpr uint32_t kEptSNotRegistered = 0x16c9a0d6;

// ept_lookup inquiry types and version options.
inline constexpr uint32_t kInquiryAllElements = 0;
inline constexpr uint32_t kInquiryMatchByInterface = 1;
inline constexpr uint32_t kInquiryMatchByObject = 2;
inline constexpr uint32_t kInquiryMatchByBoth = 3;
inline constexpr uint32_t kVersAll = 1;
inline constexpr uint32_t kVersCompatible = 2;
inline constexpr uint32_t kVersExact = 3;
inline constexpr uint32_t kVersMajorOnly = 4;
inline constexpr uint32_t kVersUpto = 5;

// Longest annotation, including its NUL.
inline constexpr uint32_t kMaxAnnotationSize = 64;

// A tower as the stubs carry it: the octet string, or nullopt for a null pointer.
using TowerOctets = std::optional<std::vector<uint8_t>>;

struct EptMapRequest {
  std::optional<Uuid> object = Uuid{};  // Windows sends a pointer to the nil UUID
  TowerOctets map_tower;
  ContextHandle entry_handle;
  uint32_t max_towers = 4;
};

struct EptMapResponse {
  ContextHandle entry_handle;
  uint32_t max_towers = 0;  // size of the returned array; at least towers.size()
  std::vector<TowerOctets> towers;
  uint32_t status = 0;
};

struct EptLookupRequest {
  uint32_t inquiry_type = kInquiryAllElements;
  std::optional<Uuid> object;
  std::optional<SyntaxId> interface_id;
  uint32_t vers_option = kVersAll;
  ContextHandle entry_handle;
  uint32_t max_ents = 1;
};

struct EptEntry {
  Uuid object;
  TowerOctets tower;
  std::string annotation;  // without NUL, shorter than kMaxAnnotationSize
};

struct EptLookupResponse {
  ContextHandle entry_handle;
  uint32_t max_ents = 0;  // size of the returned array; at least entries.size()
  std::vector<EptEntry> entries;
  uint32_t status = 0;
};

// Client side: encode the request, decode the response. Server side: the reverse. Decoders
// read in the sender's representation `rep` and throw RpcError(kBadStubData) on malformed
// input; encoders write little-endian.
std::vector<uint8_t> EncodeEptMapRequest(const EptMapRequest& request);
EptMapRequest DecodeEptMapRequest(std::span<const uint8_t> stub, DataRep rep = kLocalDataRep);
std::vector<uint8_t> EncodeEptMapResponse(const EptMapResponse& response);
EptMapResponse DecodeEptMapResponse(std::span<const uint8_t> stub, DataRep rep = kLocalDataRep);

std::vector<uint8_t> EncodeEptLookupRequest(const EptLookupRequest& request);
EptLookupRequest DecodeEptLookupRequest(std::span<const uint8_t> stub, DataRep rep = kLocalDataRep);
std::vector<uint8_t> EncodeEptLookupResponse(const EptLookupResponse& response);
EptLookupResponse DecodeEptLookupResponse(std::span<const uint8_t> stub,
                                          DataRep rep = kLocalDataRep);

}  // namespace rpcrt::epm
