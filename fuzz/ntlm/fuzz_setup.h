// The fixed world the NTLM fuzz target replays (its seed corpus was made the same way): one
// account, a fixed server challenge and time stamp, so that a seed AUTHENTICATE verifies and
// mutations of it reach the code behind the proof check.
#pragma once

#include <memory>
#include <vector>

#include "rpcrt/security/ntlm/initiator.h"
#include "rpcrt/server/security/ntlm/acceptor.h"

namespace rpcrt::security::ntlm::fuzzing {

// First byte of an input: what the rest is fed to.
enum Mode : uint8_t {
  kNegotiateToAcceptor = 0,
  kAuthenticateToAcceptor = 1,
  kChallengeToInitiator = 2,
  kSealedToAcceptor = 3,  // 16-byte signature, then sealed data, after a fixed handshake
};

inline AccountStore Accounts() {
  return AccountStore::Parse("FUZZ:user:password\n", "fuzz");
}

inline AcceptorSettings FixedAcceptor() {
  AcceptorSettings s;
  s.server_challenge = Challenge{1, 2, 3, 4, 5, 6, 7, 8};
  s.timestamp = 0x01d0000000000000ULL;
  return s;
}

inline InitiatorSettings FixedInitiator() {
  InitiatorSettings s;
  s.target_name = u"host/fuzz";
  s.workstation = u"WS";
  s.client_challenge = Challenge{9, 9, 9, 9, 9, 9, 9, 9};
  s.session_key = Key(std::vector<uint8_t>(16, 0x55));
  return s;
}

inline ClientCredentials User() {
  return ClientCredentials{Identity(u"user", u"FUZZ", u"password")};
}

}  // namespace rpcrt::security::ntlm::fuzzing
