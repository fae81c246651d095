// A mechanism that SPNEGO negotiates (NTLM, Kerberos): a security context plus what the
// negotiation itself needs of it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "rpcrt/security/security_context.h"

namespace rpcrt::security {

class Mechanism : public SecurityContext {
 public:
  // The mechanism's object identifier, DER-encoded including tag and length (06 len ...).
  virtual std::span<const uint8_t> Oid() const = 0;

  // Integrity token over a message (GSS get_mic / verify_mic), used for the mechListMIC.
  virtual std::vector<uint8_t> GetMic(std::span<const uint8_t> message) = 0;
  virtual void VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) = 0;

  // Called by SPNEGO once the mechListMIC exchange is over. NTLM restarts its sealing
  // cipher here (sequence numbers continue), as Windows does; others do nothing.
  virtual void ResetAfterMechListMic() {}

  // The session key, to compare with an independent implementation's.
  virtual std::vector<uint8_t> SessionKeyForTesting() const = 0;

  // Client side: the mechanism's name and the account it authenticates as, for the notes on
  // how a connection authenticated, e.g. "Kerberos as alice@ZAD.TEST".
  virtual std::string Describe() const = 0;
};

}  // namespace rpcrt::security
