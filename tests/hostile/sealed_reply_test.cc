// A server that completes a real NTLM or SPNEGO bind at packet privacy and then protects its
// replies wrongly: each one fails the call with a security status, and the connection, whose
// stream can no longer be trusted, is dropped.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/hostile/call_probe.h"
#include "tests/hostile/hostile_server.h"

namespace rpcrt::hostile {
namespace {

using security::AuthnLevel;
using security::AuthnService;

constexpr char kAccount[] = "EXAMPLE:alice:Secret-1";
// Nothing here waits for a time-out; a long one keeps a slow Kerberos probe in the Negotiate
// client (it looks for a ticket first) on a loaded machine from failing the bind.
constexpr uint32_t kSealedTimeoutMs = 10000;

client::AuthInfo Alice(AuthnService service) {
  client::AuthInfo auth;
  auth.service = service;
  auth.level = AuthnLevel::kPktPrivacy;
  auth.principal = u"zelqa/localhost";
  auth.credentials.identity.emplace(u"alice", u"EXAMPLE", u"Secret-1");
  return auth;
}

const HostileOptions kOptions{.ntlm_account = kAccount, .header_sign = true, .reply_stub = {}};
const HostileOptions kUnsignedHeader{
    .ntlm_account = kAccount, .header_sign = false, .reply_stub = {}};
constexpr AuthnService kServices[] = {AuthnService::kWinNt, AuthnService::kGssNegotiate};

std::string ServiceName(AuthnService service) {
  return service == AuthnService::kWinNt ? "Ntlm" : "Negotiate";
}

// The first call fails with `expected`, the connection is dropped, the next call gets a new one.
void ExpectDropped(const HostileServer& server, const client::AuthInfo& auth, Status expected) {
  auto binding = BindTo(server.port(), auth, kSealedTimeoutMs);
  ExpectFailureThenFreshConnection(*binding, server, expected,
                                   std::chrono::milliseconds(kSealedTimeoutMs));
}

const ScriptCase<> kCases[] = {
    {"Unsealed", OnFirstRequest([](Session& s, const Pdu& req) {
       return Action{EncodePdu(s.DefaultResponse(req))};
     }),
     kErrorAccessDenied},
    {"IntegrityInsteadOfPrivacy", OnFirstRequest([](Session& s, const Pdu& req) {
       return Action{s.EncodeAt(s.DefaultResponse(req), AuthnLevel::kPktIntegrity)};
     }),
     kErrorAccessDenied},
    {"BadSignature", ReplyMutated([](auto& b) { b.back() ^= 0x01; }), kSecPkgError},
    {"TamperedCiphertext", ReplyMutated([](auto& b) { b[kCommonHeaderSize + 8] ^= 0x80; }),
     kSecPkgError},
    {"SignatureCutShort", ReplyMutated([](auto& b) {
       b.resize(b.size() - 8);
       PutU16(b, 8, static_cast<uint16_t>(b.size()));
       b[10] -= 8;
     }),
     kSecPkgError},
    // The server's context sealed a reply it never sent: the one it sends carries the next
    // sequence number.
    {"SequenceNumberSkipped", OnFirstRequest([](Session& s, const Pdu& req) {
       s.Encode(s.DefaultResponse(req));
       return Action{s.Encode(s.DefaultResponse(req))};
     }),
     kSecPkgError},
    // Faults come unverified, with a verifier or without: their status ends the call, the
    // connection goes.
    {"UnprotectedFault", FaultWith(0x0badf00du), 0x0badf00du},
    {"FaultWithAVerifier", OnFirstRequest([](Session&, const Pdu& req) {
       Pdu fault = FaultFor(req, 0x0badf00du);
       fault.auth = AuthVerifier{{AuthnService::kWinNt, AuthnLevel::kPktPrivacy, 0, 0, 0},
                                 std::vector<uint8_t>(16, 0xee)};
       return Action{EncodePdu(fault)};
     }),
     0x0badf00du},
};

class SealedReply : public ::testing::TestWithParam<std::tuple<ScriptCase<>, AuthnService>> {};

TEST_P(SealedReply, FailsTheCallAndDropsTheConnection) {
  const auto& [c, service] = GetParam();
  HostileServer server(c.script, kOptions);
  ExpectDropped(server, Alice(service), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Hostile, SealedReply,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::ValuesIn(kServices)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name +
                                  ServiceName(std::get<1>(info.param));
                         });

TEST(SealedReplyMisc, ReplayedReplyIsRefused) {
  // A recorded reply with the call id patched fails on the sequence number inside its
  // signature, whatever the signature covers.
  std::vector<uint8_t> recorded;
  HostileServer server(
      [&recorded](Session& s, const Pdu& pdu) {
        if (s.index() != 0 || pdu.type() != PduType::kRequest) return s.Behave(pdu);
        if (s.requests() == 0) {
          Action a = s.Behave(pdu);
          recorded = a.bytes;
          return a;
        }
        std::vector<uint8_t> replay = recorded;
        for (int i = 0; i < 4; ++i) replay[12 + i] = static_cast<uint8_t>(pdu.call_id >> (8 * i));
        return Action{replay};
      },
      kUnsignedHeader);
  auto binding = BindTo(server.port(), Alice(AuthnService::kWinNt), kSealedTimeoutMs);
  const auto stub = std::vector<uint8_t>(48, 0x11);
  ASSERT_EQ(CallOnce(*binding, stub).status, kOk);
  EXPECT_EQ(CallOnce(*binding, stub).status, kSecPkgError);
  EXPECT_TRUE(server.WaitClosed(1));
  EXPECT_EQ(CallOnce(*binding, stub).status, kOk);
  EXPECT_EQ(server.accepted(), 2);
}

TEST(SealedReplyMisc, NtlmSignsTheHeaderWithoutHeaderSigning) {
  // Windows-family peers cover the whole PDU with an NTLM signature, header signing or not:
  // a reply whose header changed after sealing is refused.
  for (AuthnService service : kServices) {
    // The byte changed is in alloc_hint.
    HostileServer server(ReplyMutated([](auto& b) { b[16] ^= 0x01; }), kUnsignedHeader);
    auto binding = BindTo(server.port(), Alice(service), kSealedTimeoutMs);
    EXPECT_EQ(CallOnce(*binding, std::vector<uint8_t>(48, 0x22)).status, kSecPkgError)
        << ServiceName(service);
    EXPECT_EQ(CallOnce(*binding, std::vector<uint8_t>(48, 0x22)).status, kOk);
  }
}

TEST(SealedReplyMisc, AuthenticationLegAnsweredWithAFault) {
  // SPNEGO over NTLM needs the alter_context leg; a fault there fails the connect with its
  // status, and one that reports no failure is a protocol error, never a success.
  for (auto [sent, seen] : {std::pair<uint32_t, Status>{kErrorAccessDenied, kErrorAccessDenied},
                            {0x1c00001fu, kSecPkgError},
                            {0, kProtocolError}}) {
    HostileServer server(
        [sent](Session& s, const Pdu& pdu) {
          if (s.index() != 0 || pdu.type() != PduType::kAlterContext) return s.Behave(pdu);
          return Action{EncodePdu(FaultFor(pdu, sent))};
        },
        kOptions);
    ExpectDropped(server, Alice(AuthnService::kGssNegotiate), seen);
  }
}

TEST(SealedReplyMisc, BadChallengesFailTheConnect) {
  const ScriptCase<> cases[] = {
      {"garbage token", BindAckAltered([](Pdu& p) { p.auth->auth_value.assign(57, 0xa5); }),
       kSecPkgError},
      {"token cut short",
       BindAckAltered([](Pdu& p) { p.auth->auth_value.resize(p.auth->auth_value.size() / 2); }),
       kSecPkgError},
      {"no token", BindAckAltered([](Pdu& p) { p.auth.reset(); }), kErrorAccessDenied},
      {"another package",
       BindAckAltered([](Pdu& p) { p.auth->trailer.auth_type = AuthnService::kGssKerberos; }),
       kErrorAccessDenied},
  };
  for (const auto& c : cases) {
    for (AuthnService service : kServices) {
      SCOPED_TRACE(std::string(c.name) + " " + ServiceName(service));
      HostileServer server(c.script, kOptions);
      ExpectDropped(server, Alice(service), c.expected);
    }
  }
}

TEST(SealedReplyMisc, BindNakToCredentialsIsARejectionOfThem) {
  // Servers refuse a ticket or a password under various reasons (Samba: "not specified");
  // only load and version say something else. Without credentials, a refusal means no server.
  struct NakCase {
    BindRejectReason reason;
    bool authenticated;
    Status expected;
  };
  const NakCase cases[] = {
      {BindRejectReason::kNotSpecified, true, kErrorAccessDenied},
      {BindRejectReason::kAuthenticationTypeNotRecognized, true, kErrorAccessDenied},
      {BindRejectReason::kInvalidChecksum, true, kErrorAccessDenied},
      {BindRejectReason::kCalledPaddrUnknown, true, kErrorAccessDenied},
      {BindRejectReason::kTemporaryCongestion, true, kServerTooBusy},
      {BindRejectReason::kNotSpecified, false, kServerUnavailable},
  };
  for (const NakCase& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.reason)) +
                 (c.authenticated ? " with credentials" : " anonymous"));
    HostileServer server(OnFirstBind([&](Session&, const Pdu& bind) {
                           Pdu nak;
                           nak.call_id = bind.call_id;
                           nak.body = BindNak{c.reason, {{5, 0}}};
                           return Action{EncodePdu(nak)};
                         }),
                         kOptions);
    ExpectDropped(server, c.authenticated ? Alice(AuthnService::kGssNegotiate) : client::AuthInfo{},
                  c.expected);
  }
}

}  // namespace
}  // namespace rpcrt::hostile
