// The NTLMv2 computations: password hash, client blob, responses, session keys and the
// sign and seal keys that follow from the exported session key.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "rpcrt/security/ntlm/av_pairs.h"
#include "rpcrt/security/ntlm/crypto.h"
#include "rpcrt/security/ntlm/messages.h"

namespace rpcrt::security::ntlm {

using Challenge = std::array<uint8_t, kChallengeSize>;

// NTOWFv2: HMAC-MD5 keyed with MD4(password) over upper-case user and the domain as given.
Key NtOwfV2(std::u16string_view password, std::u16string_view user, std::u16string_view domain);

// The NTLMv2 client blob: version 1.1, time stamp, client challenge, the AV pairs (encoded
// with their terminator) and four zero bytes.
std::vector<uint8_t> MakeClientBlob(uint64_t timestamp, const Challenge& client_challenge,
                                    std::span<const uint8_t> av_pairs);

struct ClientBlob {
  uint64_t timestamp;
  Challenge client_challenge;
  AvPairs av_pairs;
};
ClientBlob ParseClientBlob(std::span<const uint8_t> blob);

inline constexpr size_t kNtProofSize = 16;

struct NtResponse {
  std::vector<uint8_t> response;  // NTProofStr followed by the blob
  Key proof;                      // NTProofStr
  Key session_base_key;
};
NtResponse ComputeNtResponse(const Key& response_key, const Challenge& server_challenge,
                             std::span<const uint8_t> blob);

// LMv2: HMAC-MD5 over both challenges, followed by the client challenge (24 bytes).
std::vector<uint8_t> ComputeLmResponse(const Key& response_key, const Challenge& server_challenge,
                                       const Challenge& client_challenge);

// SIGNKEY and SEALKEY (128-bit) for one direction.
Key SignKey(const Key& exported_session_key, bool client_to_server);
Key SealKey(const Key& exported_session_key, bool client_to_server);

// The MIC over the three messages; `authenticate` must have its MIC field zeroed.
Key ComputeMic(const Key& exported_session_key, std::span<const uint8_t> negotiate,
               std::span<const uint8_t> challenge, std::span<const uint8_t> authenticate);

// 100-ns intervals since 1601-01-01 UTC, as Windows keeps time.
uint64_t FileTimeNow();

}  // namespace rpcrt::security::ntlm
