// The NTLM server: NEGOTIATE in, CHALLENGE out, AUTHENTICATE in, checked against an account
// store (NTLMv2 proof, MIC, key exchange).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "rpcrt/security/mechanism.h"
#include "rpcrt/security/ntlm/ntlmv2.h"
#include "rpcrt/server/security/ntlm/account_store.h"
#include "rpcrt/server/security/server_context.h"

namespace rpcrt::security::ntlm {

struct AcceptorSettings {
  bool under_spnego = false;
  // Fixed values in place of fresh ones, for known-answer tests.
  std::optional<Challenge> server_challenge;
  std::optional<uint64_t> timestamp;
};

std::unique_ptr<Mechanism> CreateAcceptor(AccountStore accounts, AcceptorSettings settings);

}  // namespace rpcrt::security::ntlm

namespace rpcrt::security {

// Server side, verifying against credentials.ntlm_account_file (DOMAIN:user:password lines).
// A wrong password or unknown user makes Step throw RpcError(kErrorAccessDenied).
std::unique_ptr<Mechanism> CreateNtlmAcceptor(const ServerCredentials& credentials,
                                              bool under_spnego);

}  // namespace rpcrt::security
