// Message protection after the handshake: sequence numbers, tampering and recovery.
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/session_security.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using rpcrt::testing::StatusOf;

constexpr uint32_t kFlags =
    flag::kExtendedSessionSecurity | flag::k128 | flag::kKeyExchange | flag::kSign | flag::kSeal;

struct Sealed {
  std::vector<uint8_t> data;
  std::vector<uint8_t> signature;
};

Sealed SealOne(SessionSecurity& s, const std::string& text) {
  Sealed out{{text.begin(), text.end()}, std::vector<uint8_t>(kSignatureSize)};
  IoBuffer b{IoBuffer::Kind::kData, out.data};
  s.Seal({&b, 1}, out.signature);
  return out;
}

// Unseals a copy of `m`; what it reads in `plain`, the failure's text in `what`.
Status UnsealOne(SessionSecurity& s, Sealed m, std::string* plain = nullptr,
                 std::string* what = nullptr) {
  IoBuffer b{IoBuffer::Kind::kData, m.data};
  const Status st = StatusOf([&] { s.Unseal({&b, 1}, m.signature); }, what);
  if (plain) *plain = std::string(m.data.begin(), m.data.end());
  return st;
}

class NtlmSessionSecurity : public ::testing::Test {
 protected:
  Key key_{std::vector<uint8_t>(16, 0x42)};
  SessionSecurity client_{key_, kFlags, true};
  SessionSecurity server_{key_, kFlags, false};
};

TEST_F(NtlmSessionSecurity, ReplayedAndReorderedMessagesAreRejected) {
  Sealed first = SealOne(client_, "first");
  Sealed second = SealOne(client_, "second");
  std::string what;
  EXPECT_EQ(UnsealOne(server_, second, nullptr, &what), kSecPkgError);
  EXPECT_NE(what.find("sequence"), std::string::npos) << what;
  EXPECT_EQ(UnsealOne(server_, first), kOk);
  EXPECT_EQ(UnsealOne(server_, first), kSecPkgError);  // replay
  EXPECT_EQ(UnsealOne(server_, second), kOk);
}

TEST_F(NtlmSessionSecurity, AFlippedByteIsRejectedAndLosesNothing) {
  Sealed m = SealOne(client_, "a sealed request body");
  for (size_t i = 0; i < m.data.size(); ++i) {
    Sealed bad = m;
    bad.data[i] ^= 0x80;
    ASSERT_EQ(UnsealOne(server_, bad), kSecPkgError) << i;
  }
  for (size_t i = 0; i < m.signature.size(); ++i) {
    Sealed bad = m;
    bad.signature[i] ^= 0x01;
    IoBuffer b{IoBuffer::Kind::kData, bad.data};
    ASSERT_EQ(StatusOf([&] { server_.Unseal({&b, 1}, bad.signature); }), kSecPkgError) << i;
    ASSERT_EQ(bad.data, m.data) << "a refused message is left as it came";
  }
  // The failures rewound the receive state: the genuine message still opens.
  std::string plain;
  EXPECT_EQ(UnsealOne(server_, m, &plain), kOk);
  EXPECT_EQ(plain, "a sealed request body");
}

TEST_F(NtlmSessionSecurity, IntegrityLevelSignsWithoutEncrypting) {
  std::vector<uint8_t> body = {'p', 'l', 'a', 'i', 'n'};
  const IoBuffer b{IoBuffer::Kind::kData, body};
  std::vector<uint8_t> sig(kSignatureSize);
  client_.Sign({&b, 1}, sig);
  EXPECT_EQ(body, (std::vector<uint8_t>{'p', 'l', 'a', 'i', 'n'}));
  body[0] = 'P';
  EXPECT_EQ(StatusOf([&] { server_.Verify({&b, 1}, sig); }), kSecPkgError);
  body[0] = 'p';
  server_.Verify({&b, 1}, sig);
  EXPECT_EQ(StatusOf([&] { server_.Verify({&b, 1}, sig); }), kSecPkgError);  // replay
}

TEST_F(NtlmSessionSecurity, SealAndSignShareOneStream) {
  // An integrity signature between two sealed messages advances the same RC4 stream on both
  // sides; the receiver must follow in the same order.
  Sealed a = SealOne(client_, "one");
  std::vector<uint8_t> body = {1, 2, 3};
  const IoBuffer b{IoBuffer::Kind::kSignOnly, body};
  std::vector<uint8_t> sig(kSignatureSize);
  client_.Sign({&b, 1}, sig);
  Sealed c = SealOne(client_, "three");
  EXPECT_EQ(UnsealOne(server_, a), kOk);
  server_.Verify({&b, 1}, sig);
  std::string plain;
  EXPECT_EQ(UnsealOne(server_, c, &plain), kOk);
  EXPECT_EQ(plain, "three");
}

TEST_F(NtlmSessionSecurity, WithoutKeyExchangeTheChecksumIsClear) {
  SessionSecurity client(key_, kFlags & ~flag::kKeyExchange, true);
  SessionSecurity server(key_, kFlags & ~flag::kKeyExchange, false);
  Sealed m = SealOne(client, "no key exchange");
  std::string plain;
  EXPECT_EQ(UnsealOne(server, m, &plain), kOk);
  EXPECT_EQ(plain, "no key exchange");
  // A receiver that assumes key exchange does not accept it.
  EXPECT_EQ(UnsealOne(server_, SealOne(client, "x")), kSecPkgError);
}

TEST_F(NtlmSessionSecurity, SignatureMustBeSixteenBytes) {
  std::vector<uint8_t> body = {1};
  IoBuffer b{IoBuffer::Kind::kData, body};
  std::vector<uint8_t> small(15), large(17);
  EXPECT_EQ(StatusOf([&] { client_.Seal({&b, 1}, small); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { server_.Unseal({&b, 1}, large); }), kSecPkgError);
  EXPECT_EQ(client_.send_sequence(), 0u);
}

}  // namespace
}  // namespace rpcrt::security::ntlm
