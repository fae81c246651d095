// The client side of SPNEGO: offers its mechanisms with an optimistic first token for the
// preferred one, follows the acceptor's choice, and closes with the mechListMIC exchange.
#pragma once

#include <memory>
#include <vector>

#include "rpcrt/security/spnego/negotiated_context.h"

namespace rpcrt::security::spnego {

class SpnegoInitiator : public NegotiatedContext {
 public:
  // `candidates` in order of preference, none null, at least one. A candidate that cannot
  // even produce its first token (no ticket for the target, say) is dropped from the offer,
  // as Negotiate falls back from Kerberos to NTLM.
  explicit SpnegoInitiator(std::vector<std::unique_ptr<Mechanism>> candidates);

  StepResult Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) override;

 private:
  StepResult Start(std::span<const uint8_t> input, std::vector<uint8_t>& output);
  StepResult Continue(std::span<const uint8_t> input, std::vector<uint8_t>& output);
  StepResult Finish(std::vector<uint8_t>& output, std::vector<uint8_t> last_token);

  std::vector<uint8_t> mech_types_der_;
  bool started_ = false;
  bool selected_ = false;       // the acceptor has named its mechanism
  bool mech_complete_ = false;  // the mechanism itself is established
  bool mic_required_ = false;   // the acceptor chose other than our first, or asked for it
  bool mic_sent_ = false;
  bool mic_verified_ = false;
};

}  // namespace rpcrt::security::spnego
