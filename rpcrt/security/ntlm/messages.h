// The three NTLM messages: NEGOTIATE, CHALLENGE and AUTHENTICATE, encoded and parsed.
//
// Parsers check the signature, the message type and every (length, offset) field against the
// token before they touch the payload; a bad token throws RpcError(kSecPkgError).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rpcrt::security::ntlm {

// NegotiateFlags bits.
namespace flag {
inline constexpr uint32_t kUnicode = 0x00000001;
inline constexpr uint32_t kOem = 0x00000002;
inline constexpr uint32_t kRequestTarget = 0x00000004;
inline constexpr uint32_t kSign = 0x00000010;
inline constexpr uint32_t kSeal = 0x00000020;
inline constexpr uint32_t kLmKey = 0x00000080;
inline constexpr uint32_t kNtlm = 0x00000200;
inline constexpr uint32_t kAnonymous = 0x00000800;
inline constexpr uint32_t kAlwaysSign = 0x00008000;
inline constexpr uint32_t kTargetTypeDomain = 0x00010000;
inline constexpr uint32_t kTargetTypeServer = 0x00020000;
inline constexpr uint32_t kExtendedSessionSecurity = 0x00080000;
inline constexpr uint32_t kIdentify = 0x00100000;
inline constexpr uint32_t kTargetInfo = 0x00800000;
inline constexpr uint32_t kVersion = 0x02000000;
inline constexpr uint32_t k128 = 0x20000000;
inline constexpr uint32_t kKeyExchange = 0x40000000;
inline constexpr uint32_t k56 = 0x80000000;
}  // namespace flag

inline constexpr size_t kChallengeSize = 8;
inline constexpr size_t kMicSize = 16;
// Where the MIC sits in an AUTHENTICATE message that carries one.
inline constexpr size_t kMicOffset = 72;

// The VERSION structure we send: 10.0 build 20348, NTLM revision 15.
inline constexpr std::array<uint8_t, 8> kOurVersion = {10, 0, 0x7C, 0x4F, 0, 0, 0, 15};

struct NegotiateMessage {
  uint32_t flags = 0;
};

struct ChallengeMessage {
  uint32_t flags = 0;
  std::u16string target_name;
  std::array<uint8_t, kChallengeSize> server_challenge{};
  std::vector<uint8_t> target_info;  // encoded AV pairs
};

struct AuthenticateMessage {
  std::vector<uint8_t> lm_response;
  std::vector<uint8_t> nt_response;
  std::u16string domain;
  std::u16string user;
  std::u16string workstation;
  std::vector<uint8_t> encrypted_session_key;
  uint32_t flags = 0;
  bool has_mic = false;  // parsed: the message has room for a MIC
  std::array<uint8_t, kMicSize> mic{};
};

std::vector<uint8_t> EncodeNegotiate(const NegotiateMessage& m);
NegotiateMessage ParseNegotiate(std::span<const uint8_t> token);

std::vector<uint8_t> EncodeChallenge(const ChallengeMessage& m);
ChallengeMessage ParseChallenge(std::span<const uint8_t> token);

// Always encodes the VERSION and MIC fields (the MIC as given, usually zeros to be filled).
std::vector<uint8_t> EncodeAuthenticate(const AuthenticateMessage& m);
AuthenticateMessage ParseAuthenticate(std::span<const uint8_t> token);

}  // namespace rpcrt::security::ntlm
