// Encoding and hostile-input parsing of the three messages and the AV list.
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/av_pairs.h"
#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlmv2.h"
#include "rpcrt/security/ntlm/text.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using rpcrt::testing::StatusOf;

ChallengeMessage SampleChallenge() {
  ChallengeMessage m;
  m.flags = flag::kUnicode | flag::kTargetInfo | flag::kSeal;
  m.target_name = u"SERVER";
  m.server_challenge = {1, 2, 3, 4, 5, 6, 7, 8};
  AvPairs info;
  info.Set(kAvNbComputerName, ToWire(u"SERVER"));
  info.Set(kAvTimestamp, std::vector<uint8_t>(8, 7));
  m.target_info = info.Encode();
  return m;
}

AuthenticateMessage SampleAuthenticate() {
  AuthenticateMessage m;
  m.flags = flag::kUnicode | flag::kKeyExchange;
  m.lm_response.assign(24, 0);
  m.nt_response.assign(60, 0x11);
  m.domain = u"Domain";
  m.user = u"Üser";
  m.workstation = u"WS";
  m.encrypted_session_key.assign(16, 0x22);
  m.mic.fill(0x33);
  return m;
}

// Every proper prefix of a valid message is an error, never a read past the end (the
// sanitizer build catches the latter).
TEST(NtlmMessages, EveryTruncationIsRejected) {
  const auto challenge = EncodeChallenge(SampleChallenge());
  for (size_t n = 0; n < challenge.size(); ++n) {
    std::vector<uint8_t> cut(challenge.begin(), challenge.begin() + n);
    EXPECT_EQ(StatusOf([&] { ParseChallenge(cut); }), kSecPkgError) << n;
  }
  const auto auth = EncodeAuthenticate(SampleAuthenticate());
  for (size_t n = 0; n < auth.size(); ++n) {
    std::vector<uint8_t> cut(auth.begin(), auth.begin() + n);
    EXPECT_EQ(StatusOf([&] { ParseAuthenticate(cut); }), kSecPkgError) << n;
  }
  const auto neg = EncodeNegotiate({flag::kUnicode});
  for (size_t n = 0; n < 16; ++n) {
    std::vector<uint8_t> cut(neg.begin(), neg.begin() + n);
    EXPECT_EQ(StatusOf([&] { ParseNegotiate(cut); }), kSecPkgError) << n;
  }
}

TEST(NtlmMessages, FieldsPointingOutsideAreRejected) {
  auto token = EncodeAuthenticate(SampleAuthenticate());
  // The NT response descriptor sits at 20: length, maximum length, offset.
  auto with = [&](size_t at, uint32_t value) {
    auto t = token;
    StoreU32(t.data() + at, value);
    return t;
  };
  EXPECT_EQ(StatusOf([&] { ParseAuthenticate(with(24, 0xFFFFFFF0)); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { ParseAuthenticate(with(24, static_cast<uint32_t>(token.size()))); }),
            kSecPkgError);
  EXPECT_EQ(StatusOf([&] { ParseAuthenticate(with(20, 0xFFFFFFFF)); }), kSecPkgError);
  // An odd-length user name cannot be UTF-16.
  auto odd = token;
  odd[36] = static_cast<uint8_t>(odd[36] - 1);
  EXPECT_EQ(StatusOf([&] { ParseAuthenticate(odd); }), kSecPkgError);

  auto challenge = EncodeChallenge(SampleChallenge());
  StoreU32(challenge.data() + 44, 0x7FFFFFFF);  // target info offset
  EXPECT_EQ(StatusOf([&] { ParseChallenge(challenge); }), kSecPkgError);
}

TEST(NtlmMessages, WrongSignatureOrTypeIsRejected) {
  auto token = EncodeChallenge(SampleChallenge());
  auto bad_sig = token;
  bad_sig[0] = 'X';
  EXPECT_EQ(StatusOf([&] { ParseChallenge(bad_sig); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { ParseAuthenticate(token); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { ParseNegotiate(token); }), kSecPkgError);
}

TEST(NtlmMessages, AuthenticateWithoutRoomForMicHasNone) {
  // A message whose payload starts right after the flags, as old clients send it.
  std::vector<uint8_t> t = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 3, 0, 0, 0};
  t.resize(64, 0);
  StoreU32(t.data() + 60, flag::kUnicode);
  const uint8_t user[] = {'u', 0};
  t[36] = t[38] = 2;
  StoreU32(t.data() + 40, 64);
  t.insert(t.end(), std::begin(user), std::end(user));
  const AuthenticateMessage m = ParseAuthenticate(t);
  EXPECT_EQ(m.user, u"u");
  EXPECT_FALSE(m.has_mic);
}

TEST(NtlmAvPairs, HostileListsAreRejected) {
  using rpcrt::testing::Hex;
  EXPECT_EQ(StatusOf([] { AvPairs::Parse({}); }), kSecPkgError);           // no terminator
  EXPECT_EQ(StatusOf([] { AvPairs::Parse(Hex("0100")); }), kSecPkgError);  // cut header
  EXPECT_EQ(StatusOf([] { AvPairs::Parse(Hex("01000500414243")); }), kSecPkgError);  // overrun
  EXPECT_EQ(StatusOf([] { AvPairs::Parse(Hex("0000010041")); }), kSecPkgError);      // EOL + value
  EXPECT_EQ(StatusOf([] { AvPairs::Parse(Hex("010000000100000000000000")); }),
            kSecPkgError);  // repeated
  EXPECT_EQ(StatusOf([] { AvPairs::Parse(Hex("0600020001000000000000")).Flags(); }),
            kSecPkgError);  // short MsvAvFlags
  EXPECT_EQ(StatusOf([] { AvPairs::Parse(Hex("07000400010203040000 0000")).Timestamp(); }),
            kSecPkgError);  // short time stamp
  // Padding after the terminator is allowed: the client blob carries four zero bytes there.
  EXPECT_EQ(AvPairs::Parse(Hex("0000000000000000")).pairs().size(), 0u);
}

TEST(NtlmClientBlob, HostileBlobsAreRejected) {
  const Challenge cc{};
  auto blob = MakeClientBlob(5, cc, AvPairs().Encode());
  auto bad_version = blob;
  bad_version[0] = 2;
  EXPECT_EQ(StatusOf([&] { ParseClientBlob(bad_version); }), kSecPkgError);
  for (size_t n = 0; n < 32; ++n) {
    std::vector<uint8_t> cut(blob.begin(), blob.begin() + n);
    EXPECT_EQ(StatusOf([&] { ParseClientBlob(cut); }), kSecPkgError) << n;
  }
  EXPECT_EQ(ParseClientBlob(blob).timestamp, 5u);
}

TEST(NtlmText, Case) {
  EXPECT_EQ(ToUpper(u"straße élan ωя łź ς"), u"STRAßE ÉLAN ΩЯ ŁŹ Σ");
  EXPECT_TRUE(EqualNoCase(u"Administrator", u"ADMINISTRATOR"));
  EXPECT_FALSE(EqualNoCase(u"admin", u"admin2"));
}

}  // namespace
}  // namespace rpcrt::security::ntlm
