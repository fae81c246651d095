// The server side of SPNEGO: picks the first of the initiator's mechanisms that it offers,
// runs it, and closes with the mechListMIC exchange when the initiator starts it or when
// the choice was not the initiator's first.
//
// A first token that is a bare NTLM message instead of a negotiation token (Windows-family
// Negotiate clients send one when they go to NTLM at once) runs NTLM without SPNEGO: its
// tokens pass both ways unwrapped and there is no mechListMIC.
#pragma once

#include <memory>
#include <vector>

#include "rpcrt/security/spnego/negotiated_context.h"

namespace rpcrt::security::spnego {

class SpnegoAcceptor : public NegotiatedContext {
 public:
  // `offered`: the acceptor mechanisms this server can run, none null, at least one.
  explicit SpnegoAcceptor(std::vector<std::unique_ptr<Mechanism>> offered);

  StepResult Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) override;

 private:
  StepResult First(std::span<const uint8_t> input, std::vector<uint8_t>& output);
  StepResult Next(std::span<const uint8_t> input, std::vector<uint8_t>& output);
  // The reply once the mechanism has produced `token` (possibly empty).
  StepResult Reply(std::vector<uint8_t> token, std::vector<uint8_t>& output);
  StepResult Bare(std::span<const uint8_t> input, std::vector<uint8_t>& output);

  std::vector<uint8_t> mech_types_der_;  // as the initiator sent it
  std::vector<uint8_t> chosen_oid_;      // echoed in the initiator's own spelling
  bool started_ = false;
  bool bare_ = false;  // NTLM without SPNEGO
  bool mech_complete_ = false;
  bool mic_required_ = false;
  bool mic_verified_ = false;
};

}  // namespace rpcrt::security::spnego
