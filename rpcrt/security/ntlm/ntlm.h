// NTLM (NTLMv2 with extended session security, key exchange, 128-bit sign and seal) as a
// mechanism that SPNEGO negotiates, or on its own as the WinNT authentication service.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "rpcrt/security/mechanism.h"

namespace rpcrt::security {

// Client side. Without an identity in `credentials` the current user's come from the first
// entry of the file named by NTLM_USER_FILE. `target_name` is the service principal the client
// means to reach ("service/host"); it goes into the response as MsvAvTargetName.
// `under_spnego`: the mechListMIC exchange follows and ResetAfterMechListMic restarts the
// sealing streams, so the first sealed message carries sequence number 1, not 0.
std::unique_ptr<Mechanism> CreateNtlmInitiator(const ClientCredentials& credentials,
                                               bool under_spnego,
                                               const std::u16string& target_name = {});

// Whether `token` is a bare NTLM message (it starts with the NTLMSSP signature), which Windows
// Negotiate clients may send in place of a SPNEGO token.
bool IsNtlmToken(std::span<const uint8_t> token);

}  // namespace rpcrt::security
