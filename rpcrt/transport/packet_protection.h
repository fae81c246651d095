// Per-fragment protection of request and response PDUs with an established security context:
// sealed (packet privacy) or signed (packet integrity), the header and trailer signed too when
// both ends agreed on header signing or the package always signs them (NTLM).
//
// One object serves one connection; fragments go through it in the order they travel, since
// the security context numbers them.
#pragma once

#include <cstdint>
#include <vector>

#include "rpcrt/pdu/pdu.h"
#include "rpcrt/security/security_context.h"

namespace rpcrt::transport {

class PacketProtection {
 public:
  // level must be kPktIntegrity or kPktPrivacy.
  PacketProtection(security::SecurityContext& context, security::AuthnService service,
                   security::AuthnLevel level, uint32_t auth_context_id, bool header_sign);

  // The largest stub per fragment of at most max_frag bytes.
  size_t MaxStub(PduType type, bool object_uuid, size_t max_frag) const;

  // Encodes a request or response fragment with its signature.
  std::vector<uint8_t> Protect(const Pdu& pdu);

  // Verifies (and under privacy decrypts) a received request or response fragment in place,
  // then decodes it. A fragment without protection, or with a different service or a lower
  // level, throws RpcError(kErrorAccessDenied); a bad signature throws the context's error
  // (kSecPkgError).
  Pdu Unprotect(std::vector<uint8_t>& fragment);

  security::AuthnLevel level() const { return level_; }

 private:
  security::SecurityContext& context_;
  security::AuthnService service_;
  security::AuthnLevel level_;
  uint32_t auth_context_id_;
  bool whole_pdu_;  // the signature covers header and trailer too
};

}  // namespace rpcrt::transport
