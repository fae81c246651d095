// What the NTLM initiator and acceptor share: the two legs of the handshake and, once it is
// done, message protection, the mechListMIC operations and the session key.
#pragma once

#include <optional>

#include "rpcrt/security/mechanism.h"
#include "rpcrt/security/ntlm/crypto.h"
#include "rpcrt/security/ntlm/session_security.h"

namespace rpcrt::security::ntlm {

class ContextBase : public Mechanism {
 public:
  explicit ContextBase(bool under_spnego) : under_spnego_(under_spnego) {}

  // Runs FirstLeg, then LastLeg; a leg that throws leaves the context failed for good.
  StepResult Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) final;
  bool IsEstablished() const override { return security_.has_value(); }
  size_t SignatureSize(size_t data_size) const override;
  bool SignsWholePdu() const override { return true; }
  void Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) override;
  void Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature) override;

  std::span<const uint8_t> Oid() const override;
  std::vector<uint8_t> GetMic(std::span<const uint8_t> message) override;
  void VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) override;
  void ResetAfterMechListMic() override;
  std::vector<uint8_t> SessionKeyForTesting() const override;
  std::string Describe() const override { return "NTLM"; }

 protected:
  // The token each leg answers the peer's token with: NEGOTIATE then AUTHENTICATE for the
  // initiator, CHALLENGE then nothing for the acceptor.
  virtual std::vector<uint8_t> FirstLeg(std::span<const uint8_t> input) = 0;
  virtual std::vector<uint8_t> LastLeg(std::span<const uint8_t> input) = 0;

  void Establish(const Key& exported_session_key, uint32_t flags, bool initiator);

 private:
  SessionSecurity& Security();

  enum class Leg { kFirst, kLast, kDone, kFailed };

  Leg leg_ = Leg::kFirst;
  bool under_spnego_;
  Key session_key_;
  std::optional<SessionSecurity> security_;
};

}  // namespace rpcrt::security::ntlm
