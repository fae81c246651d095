// The NTLM client: NEGOTIATE out, CHALLENGE in, AUTHENTICATE (NTLMv2, MIC, key exchange) out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "rpcrt/security/mechanism.h"
#include "rpcrt/security/ntlm/crypto.h"
#include "rpcrt/security/ntlm/ntlmv2.h"

namespace rpcrt::security::ntlm {

struct InitiatorSettings {
  bool under_spnego = false;
  std::u16string target_name;  // service principal for MsvAvTargetName; empty: none
  std::u16string workstation;  // empty: this host's NetBIOS name
  // Fixed values in place of fresh ones, for known-answer tests. Without a time stamp the
  // server's MsvAvTimestamp is used, or the clock when the server sends none.
  std::optional<uint64_t> timestamp;
  std::optional<Challenge> client_challenge;
  std::optional<Key> session_key;
};

std::unique_ptr<Mechanism> CreateInitiator(const ClientCredentials& credentials,
                                           InitiatorSettings settings);

}  // namespace rpcrt::security::ntlm
