// What the SPNEGO initiator and acceptor share: once a mechanism is negotiated and
// established, every protection call goes straight to it.
#pragma once

#include <memory>
#include <vector>

#include "rpcrt/security/mechanism.h"
#include "rpcrt/security/security_context.h"

namespace rpcrt::security::spnego {

class NegotiatedContext : public SecurityContext {
 public:
  bool IsEstablished() const override { return established_; }
  size_t SignatureSize(size_t data_size) const override;
  bool SignsWholePdu() const override;
  void Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) override;
  void Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature) override;
  std::string PeerName() const override;

  // The negotiated mechanism, once established (for tests and diagnostics).
  const Mechanism* negotiated() const { return established_ ? mech_ : nullptr; }

 protected:
  // Throws unless the negotiation has ended.
  Mechanism& Established() const;
  // A failed leg leaves the context unusable: a later Step is refused, not half-processed.
  void CheckUsable() const;
  static bool MatchesOid(const Mechanism& mech, std::span<const uint8_t> oid);

  std::vector<std::unique_ptr<Mechanism>> mechs_;
  Mechanism* mech_ = nullptr;
  bool established_ = false;
  bool failed_ = false;
};

}  // namespace rpcrt::security::spnego
