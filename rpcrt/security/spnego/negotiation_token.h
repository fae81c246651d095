// The two negotiation messages (NegTokenInit inside its GSS-API framing, and NegTokenResp):
// their encoding and their checked decoding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rpcrt::security::spnego {

enum class NegState : uint8_t {
  kAcceptCompleted = 0,
  kAcceptIncomplete = 1,
  kReject = 2,
  kRequestMic = 3,
};

// The initiator's first message.
struct NegTokenInit {
  std::vector<std::vector<uint8_t>> mech_types;  // each a DER OID (06 len ...)
  std::vector<uint8_t> mech_types_der;           // the MechTypeList exactly as it travelled
  std::optional<std::vector<uint8_t>> mech_token;
  std::optional<std::vector<uint8_t>> mech_list_mic;
};

// Every later message, both ways.
struct NegTokenResp {
  std::optional<NegState> neg_state;
  std::optional<std::vector<uint8_t>> supported_mech;  // DER OID
  std::optional<std::vector<uint8_t>> response_token;
  std::optional<std::vector<uint8_t>> mech_list_mic;
};

// The DER of a MechTypeList, over which the mechListMIC is computed.
std::vector<uint8_t> EncodeMechTypes(std::span<const std::vector<uint8_t>> mech_types);

// The framed initial token: 60 len { SPNEGO OID, [0] NegTokenInit }.
std::vector<uint8_t> EncodeInit(const NegTokenInit& token);
std::vector<uint8_t> EncodeResp(const NegTokenResp& token);

// Decoders check every byte and throw rpcrt::RpcError(kSecPkgError) on anything malformed.
// DecodeInit also accepts the NegTokenInit2 form with negHints, which it skips.
NegTokenInit DecodeInit(std::span<const uint8_t> token);
NegTokenResp DecodeResp(std::span<const uint8_t> token);

}  // namespace rpcrt::security::spnego
