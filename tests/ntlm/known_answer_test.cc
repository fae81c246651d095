// The published NTLMv2 example: user "User", domain "Domain", password "Password", server
// challenge 0123456789abcdef, client challenge aa*8, time stamp 0, random session key 55*16,
// target information naming domain "Domain" and server "Server".
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/av_pairs.h"
#include "rpcrt/security/ntlm/crypto.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlmv2.h"
#include "rpcrt/security/ntlm/session_security.h"
#include "rpcrt/security/ntlm/text.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using rpcrt::testing::Hex;

template <typename Bytes>
std::vector<uint8_t> Vec(const Bytes& b) {
  return {std::begin(b), std::end(b)};
}

constexpr uint32_t kExampleFlags = 0xe28a8233;
const Challenge kServerChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const Challenge kClientChallenge = {0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa};
// The random session key, which with key exchange is also the exported one.
const Key kRandomSessionKey(Hex("55555555555555555555555555555555"));

std::vector<uint8_t> ExampleTargetInfo() {
  AvPairs info;
  info.Set(kAvNbDomainName, ToWire(u"Domain"));
  info.Set(kAvNbComputerName, ToWire(u"Server"));
  return info.Encode();
}

Key ResponseKey() {
  return NtOwfV2(u"Password", u"User", u"Domain");
}

TEST(NtlmKnownAnswer, ResponseKeyIsNtOwfV2OfUpperUserAndDomain) {
  EXPECT_EQ(Vec(ResponseKey().bytes), Hex("0c868a403bfd7a93a3001ef22ef02e3f"));
  // Only the user name is upper-cased; the domain goes in as given.
  EXPECT_EQ(NtOwfV2(u"Password", u"user", u"Domain"), ResponseKey());
  EXPECT_FALSE(NtOwfV2(u"Password", u"User", u"DOMAIN") == ResponseKey());
}

TEST(NtlmKnownAnswer, LmV2Response) {
  EXPECT_EQ(ComputeLmResponse(ResponseKey(), kServerChallenge, kClientChallenge),
            Hex("86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa"));
}

TEST(NtlmKnownAnswer, NtProofStrAndSessionBaseKey) {
  const std::vector<uint8_t> blob = MakeClientBlob(0, kClientChallenge, ExampleTargetInfo());
  EXPECT_EQ(blob, Hex("01010000000000000000000000000000aaaaaaaaaaaaaaaa00000000"
                      "02000c0044006f006d00610069006e00"
                      "01000c005300650072007600650072000000000000000000"));
  const NtResponse nt = ComputeNtResponse(ResponseKey(), kServerChallenge, blob);
  EXPECT_EQ(Vec(nt.proof.bytes), Hex("68cd0ab851e51c96aabc927bebef6a1c"));
  EXPECT_EQ(Vec(nt.session_base_key.bytes), Hex("8de40ccadbc14a82f15cb0ad0de95ca3"));
  EXPECT_EQ(nt.response.size(), 16 + blob.size());

  // The acceptor reads back what the client put in.
  const ClientBlob parsed = ParseClientBlob(blob);
  EXPECT_EQ(parsed.timestamp, 0u);
  EXPECT_EQ(parsed.client_challenge, kClientChallenge);
  ASSERT_NE(parsed.av_pairs.Find(kAvNbComputerName), nullptr);
  EXPECT_EQ(FromWire(parsed.av_pairs.Find(kAvNbComputerName)->value, "name"), u"Server");
}

TEST(NtlmKnownAnswer, KeyExchangeEncryptsTheRandomSessionKey) {
  const NtResponse nt = ComputeNtResponse(ResponseKey(), kServerChallenge,
                                          MakeClientBlob(0, kClientChallenge, ExampleTargetInfo()));
  const Key encrypted = Rc4Once(nt.session_base_key.bytes, kRandomSessionKey.bytes);
  EXPECT_EQ(Vec(encrypted.bytes), Hex("c5dad2544fc9799094ce1ce90bc9d03e"));
  EXPECT_EQ(Rc4Once(nt.session_base_key.bytes, encrypted.bytes), kRandomSessionKey);
}

TEST(NtlmKnownAnswer, SignAndSealKeys) {
  EXPECT_EQ(Vec(SealKey(kRandomSessionKey, true).bytes), Hex("59f600973cc4960a25480a7c196e4c58"));
  EXPECT_EQ(Vec(SignKey(kRandomSessionKey, true).bytes), Hex("4788dc861b4782f35d43fd98fe1a2d39"));
}

TEST(NtlmKnownAnswer, SealedPlaintextAndSignature) {
  SessionSecurity client(kRandomSessionKey, kExampleFlags, /*initiator=*/true);
  std::vector<uint8_t> message = ToWire(u"Plaintext");
  IoBuffer buffer{IoBuffer::Kind::kData, message};
  std::vector<uint8_t> signature(kSignatureSize);
  client.Seal({&buffer, 1}, signature);
  EXPECT_EQ(message, Hex("54e50165bf1936dc996020c1811b0f06fb5f"));
  EXPECT_EQ(signature, Hex("010000007fb38ec5c55d497600000000"));

  SessionSecurity server(kRandomSessionKey, kExampleFlags, /*initiator=*/false);
  server.Unseal({&buffer, 1}, signature);
  EXPECT_EQ(message, ToWire(u"Plaintext"));
}

}  // namespace
}  // namespace rpcrt::security::ntlm
