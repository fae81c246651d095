// The security trailer (sec_trailer) and the authentication token that follows it at the end
// of a PDU: the trailer starts at frag_length - auth_length - 8.
#pragma once

#include <cstdint>
#include <vector>

#include "rpcrt/security/security_context.h"

namespace rpcrt {

struct SecurityTrailer {
  security::AuthnService auth_type = security::AuthnService::kNone;
  security::AuthnLevel auth_level = security::AuthnLevel::kNone;
  uint8_t auth_pad_length = 0;  // filled in by the encoder
  uint8_t auth_reserved = 0;
  uint32_t auth_context_id = 0;
};

// The trailer plus auth_value (a security token or a signature).
struct AuthVerifier {
  SecurityTrailer trailer;
  std::vector<uint8_t> auth_value;
};

}  // namespace rpcrt
