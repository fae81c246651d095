#include "rpcrt/security/spnego/negotiated_context.h"

#include "rpcrt/security/oids.h"
#include "rpcrt/status.h"

namespace rpcrt::security::spnego {

Mechanism& NegotiatedContext::Established() const {
  if (!established_ || mech_ == nullptr) {
    throw RpcError(kSecPkgError, "negotiate: security context is not established");
  }
  return *mech_;
}

void NegotiatedContext::CheckUsable() const {
  if (failed_) throw RpcError(kSecPkgError, "negotiate: context failed in an earlier leg");
  if (established_) throw RpcError(kSecPkgError, "negotiate: context is already established");
}

bool NegotiatedContext::MatchesOid(const Mechanism& mech, std::span<const uint8_t> oid) {
  if (oids::Equal(mech.Oid(), oid)) return true;
  return oids::Equal(mech.Oid(), oids::kKerberos) && oids::Equal(oid, oids::kKerberosMicrosoft);
}

size_t NegotiatedContext::SignatureSize(size_t data_size) const {
  return Established().SignatureSize(data_size);
}

bool NegotiatedContext::SignsWholePdu() const {
  return Established().SignsWholePdu();
}

void NegotiatedContext::Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  Established().Seal(buffers, signature);
}

void NegotiatedContext::Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
  Established().Unseal(buffers, signature);
}

void NegotiatedContext::Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) {
  Established().Sign(buffers, signature);
}

void NegotiatedContext::Verify(std::span<const IoBuffer> buffers,
                               std::span<const uint8_t> signature) {
  Established().Verify(buffers, signature);
}

std::string NegotiatedContext::PeerName() const {
  return Established().PeerName();
}

}  // namespace rpcrt::security::spnego
