// Drives a client and a server context through their legs the way the connection-oriented
// protocol does (bind, bind_ack, alter_context/alter_context_resp or auth3), and moves
// protected PDUs between them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rpcrt/security/security_context.h"
#include "rpcrt/status.h"
#include "tests/rpcrt_wire/test_util.h"

namespace zelqa::testing {

// The tokens that crossed, in order; "C" from the client, "S" from the server. Throws
// whatever a Step throws; fails the test if a side breaks the leg pattern. `tamper`, when
// given, may rewrite each client token before the server takes it.
std::vector<std::string> Establish(rpcrt::security::SecurityContext& client,
                                   rpcrt::security::SecurityContext& server,
                                   const std::function<void(std::vector<uint8_t>&)>& tamper = {});

// A request PDU as the protocol protects it: header signed only, body sealed, trailer signed.
struct Pdu {
  std::vector<uint8_t> header;
  std::vector<uint8_t> body;
  std::vector<uint8_t> trailer;
  std::vector<uint8_t> signature;
};

Pdu MakePdu(size_t body_size, uint8_t seed);
// Seals `pdu` in place with `sender` (the signature sized by SignatureSize).
void Seal(rpcrt::security::SecurityContext& sender, Pdu& pdu);
// Unseals in place with `receiver`; throws what Unseal throws.
void Unseal(rpcrt::security::SecurityContext& receiver, Pdu& pdu);
void Sign(rpcrt::security::SecurityContext& sender, Pdu& pdu);
void Verify(rpcrt::security::SecurityContext& receiver, const Pdu& pdu);

// Seals a few PDUs each way between two established contexts and checks they come back whole;
// `data_only`: without header and trailer.
void ExpectSealedTraffic(rpcrt::security::SecurityContext& client,
                         rpcrt::security::SecurityContext& server, bool data_only = false);

using rpcrt::testing::StatusOf;

// ASCII text widened for identities.
inline std::u16string U16(const std::string& s) {
  return {s.begin(), s.end()};
}

}  // namespace zelqa::testing
