// The 16-byte common header of every connection-oriented PDU.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "rpcrt/ndr/data_rep.h"

namespace rpcrt {

enum class PduType : uint8_t {
  kRequest = 0,
  kResponse = 2,
  kFault = 3,
  kBind = 11,
  kBindAck = 12,
  kBindNak = 13,
  kAlterContext = 14,
  kAlterContextResp = 15,
  kAuth3 = 16,
  kShutdown = 17,
  kCoCancel = 18,
  kOrphaned = 19,
};

// pfc_flags bits.
inline constexpr uint8_t kPfcFirstFrag = 0x01;
inline constexpr uint8_t kPfcLastFrag = 0x02;
inline constexpr uint8_t kPfcPendingCancel = 0x04;      // request/response
inline constexpr uint8_t kPfcSupportHeaderSign = 0x04;  // bind/bind_ack/alter_context: same bit
inline constexpr uint8_t kPfcConcMpx = 0x10;
inline constexpr uint8_t kPfcDidNotExecute = 0x20;
inline constexpr uint8_t kPfcMaybe = 0x40;
inline constexpr uint8_t kPfcObjectUuid = 0x80;

inline constexpr size_t kCommonHeaderSize = 16;
inline constexpr size_t kSecurityTrailerSize = 8;

struct CommonHeader {
  uint8_t rpc_vers = 5;
  uint8_t rpc_vers_minor = 0;
  PduType type = PduType::kRequest;
  uint8_t flags = kPfcFirstFrag | kPfcLastFrag;
  DataRep drep;
  uint16_t frag_length = 0;
  uint16_t auth_length = 0;
  uint32_t call_id = 0;
};

// Decodes the first 16 bytes of a fragment (integers in the order its drep names) and checks
// what can be checked without the body: version 5.0 or 5.1, a known type, frag_length of at
// least 16, and auth_length + 8 fitting in the body. Throws RpcError(kProtocolError) otherwise.
// The transport reads the header, then frag_length - 16 more bytes.
CommonHeader DecodeCommonHeader(std::span<const uint8_t> bytes);

// Writes the header little-endian (the drep field is written as given) into out[0..16).
void EncodeCommonHeader(const CommonHeader& header, std::span<uint8_t> out);

}  // namespace rpcrt
