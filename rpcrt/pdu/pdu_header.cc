#include "rpcrt/pdu/pdu_header.h"

#include <string>

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/status.h"

namespace rpcrt {

namespace {

bool KnownType(uint8_t type) {
  switch (static_cast<PduType>(type)) {
    case PduType::kRequest:
    case PduType::kResponse:
    case PduType::kFault:
    case PduType::kBind:
    case PduType::kBindAck:
    case PduType::kBindNak:
    case PduType::kAlterContext:
    case PduType::kAlterContextResp:
    case PduType::kAuth3:
    case PduType::kShutdown:
    case PduType::kCoCancel:
    case PduType::kOrphaned:
      return true;
  }
  return false;
}

}  // namespace

CommonHeader DecodeCommonHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kCommonHeaderSize) {
    throw RpcError(kProtocolError,
                   "PDU header truncated: " + std::to_string(bytes.size()) + " of 16 bytes");
  }
  CommonHeader h;
  h.rpc_vers = bytes[0];
  h.rpc_vers_minor = bytes[1];
  if (h.rpc_vers != 5 || h.rpc_vers_minor > 1) {
    throw RpcError(kProtocolError, "unsupported protocol version " + std::to_string(h.rpc_vers) +
                                       "." + std::to_string(h.rpc_vers_minor));
  }
  if (!KnownType(bytes[2])) {
    throw RpcError(kProtocolError, "unknown PDU type " + std::to_string(bytes[2]));
  }
  h.type = static_cast<PduType>(bytes[2]);
  h.flags = bytes[3];
  for (size_t i = 0; i < 4; ++i) h.drep.octets[i] = bytes[4 + i];
  NdrReader r(bytes.first(kCommonHeaderSize), h.drep, kProtocolError);
  r.ReadBytes(8);
  h.frag_length = r.ReadU16();
  h.auth_length = r.ReadU16();
  h.call_id = r.ReadU32();
  if (h.frag_length < kCommonHeaderSize) {
    throw RpcError(kProtocolError,
                   "frag_length " + std::to_string(h.frag_length) + " is shorter than the header");
  }
  if (h.auth_length != 0 &&
      size_t{h.auth_length} + kSecurityTrailerSize > h.frag_length - kCommonHeaderSize) {
    throw RpcError(kProtocolError, "auth_length " + std::to_string(h.auth_length) +
                                       " does not fit frag_length " +
                                       std::to_string(h.frag_length));
  }
  return h;
}

void EncodeCommonHeader(const CommonHeader& h, std::span<uint8_t> out) {
  if (out.size() < kCommonHeaderSize) {
    throw RpcError(kErrorInvalidParameter, "no room for the PDU header");
  }
  const bool big_endian = !h.drep.little_endian();
  out[0] = h.rpc_vers;
  out[1] = h.rpc_vers_minor;
  out[2] = static_cast<uint8_t>(h.type);
  out[3] = h.flags;
  for (size_t i = 0; i < 4; ++i) out[4 + i] = h.drep.octets[i];
  Store<uint16_t>(out.subspan(8), h.frag_length, big_endian);
  Store<uint16_t>(out.subspan(10), h.auth_length, big_endian);
  Store<uint32_t>(out.subspan(12), h.call_id, big_endian);
}

}  // namespace rpcrt
