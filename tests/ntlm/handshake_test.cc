// Our initiator against our acceptor: the whole handshake, rejected credentials, tampered
// tokens and the protection that follows.
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/av_pairs.h"
#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/initiator.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/ntlm/ntlmv2.h"
#include "rpcrt/security/ntlm/text.h"
#include "rpcrt/server/security/ntlm/acceptor.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using rpcrt::testing::StatusOf;
using rpcrt::testing::TempFile;

const char kAccounts[] =
    "# test accounts\n"
    "EXAMPLE:alice:correct horse:battery\n"
    "OTHER:bob:s3cret\r\n"
    ":carol:anywhere\n";

ClientCredentials Creds(std::u16string user, std::u16string domain, std::u16string password) {
  return ClientCredentials{Identity(std::move(user), std::move(domain), std::move(password))};
}
ClientCredentials Alice() {
  return Creds(u"alice", u"EXAMPLE", u"correct horse:battery");
}

struct Pair {
  std::unique_ptr<Mechanism> client;
  std::unique_ptr<Mechanism> server;
  std::vector<uint8_t> negotiate, challenge, authenticate, last;
};

class NtlmHandshake : public ::testing::Test {
 protected:
  Pair Make(const ClientCredentials& creds, bool under_spnego = false) {
    Pair p;
    p.client = CreateNtlmInitiator(creds, under_spnego, u"host/server.example");
    p.server = CreateNtlmAcceptor(ServerCredentials{file_.path(), "", ""}, under_spnego);
    return p;
  }
  // The first two legs: leaves the client's AUTHENTICATE in p.authenticate.
  static void ToAuthenticate(Pair& p) {
    EXPECT_EQ(p.client->Step({}, p.negotiate), StepResult::kContinue);
    EXPECT_EQ(p.server->Step(p.negotiate, p.challenge), StepResult::kContinue);
    EXPECT_EQ(p.client->Step(p.challenge, p.authenticate), StepResult::kComplete);
  }
  static void Run(Pair& p) {
    ToAuthenticate(p);
    EXPECT_EQ(p.server->Step(p.authenticate, p.last), StepResult::kComplete);
    EXPECT_TRUE(p.last.empty());
  }

  TempFile file_{kAccounts};
};

void ExpectSealRoundTrip(Mechanism& from, Mechanism& to, const std::string& text) {
  std::vector<uint8_t> header = {1, 2, 3, 4};
  std::vector<uint8_t> body(text.begin(), text.end());
  std::vector<uint8_t> trailer = {9, 9};
  IoBuffer buffers[] = {{IoBuffer::Kind::kSignOnly, header},
                        {IoBuffer::Kind::kData, body},
                        {IoBuffer::Kind::kSignOnly, trailer}};
  std::vector<uint8_t> sig(from.SignatureSize(body.size()));
  from.Seal(buffers, sig);
  if (body.size() > 4) {
    EXPECT_NE(std::string(body.begin(), body.end()), text);
  }
  EXPECT_EQ(header, (std::vector<uint8_t>{1, 2, 3, 4}));  // sign-only stays clear
  to.Unseal(buffers, sig);
  EXPECT_EQ(std::string(body.begin(), body.end()), text);
}

TEST_F(NtlmHandshake, EstablishesAndSealsBothWays) {
  Pair p = Make(Alice());
  Run(p);
  ASSERT_TRUE(p.client->IsEstablished());
  ASSERT_TRUE(p.server->IsEstablished());
  EXPECT_EQ(p.server->PeerName(), "EXAMPLE\\alice");
  EXPECT_EQ(p.client->SessionKeyForTesting(), p.server->SessionKeyForTesting());
  EXPECT_EQ(p.client->SignatureSize(1000), 16u);
  for (int i = 0; i < 3; ++i) {
    ExpectSealRoundTrip(*p.client, *p.server, "request fragment " + std::to_string(i));
    ExpectSealRoundTrip(*p.server, *p.client, "response fragment " + std::to_string(i));
  }
  // The announced MIC is in the message and the acceptor checked it.
  EXPECT_TRUE(ParseAuthenticate(p.authenticate).has_mic);
}

TEST_F(NtlmHandshake, ResponseEchoesServerTimeAndNamesTheTarget) {
  AcceptorSettings fixed;
  fixed.timestamp = 0x01d9000011112222ULL;
  auto server = CreateAcceptor(AccountStore::Load(file_.path()), fixed);
  auto client = CreateNtlmInitiator(Alice(), false, u"zelqa/server.example");
  std::vector<uint8_t> negotiate, challenge, authenticate, last;
  client->Step({}, negotiate);
  server->Step(negotiate, challenge);
  const AvPairs offered = AvPairs::Parse(ParseChallenge(challenge).target_info);
  for (uint16_t id : {kAvNbDomainName, kAvNbComputerName, kAvDnsDomainName, kAvDnsComputerName})
    EXPECT_NE(offered.Find(id), nullptr) << id;
  client->Step(challenge, authenticate);

  const AuthenticateMessage auth = ParseAuthenticate(authenticate);
  EXPECT_EQ(auth.lm_response, std::vector<uint8_t>(24, 0));  // replaced, the server sent a time
  const ClientBlob blob = ParseClientBlob(std::span(auth.nt_response).subspan(16));
  EXPECT_EQ(blob.timestamp, *fixed.timestamp);
  EXPECT_EQ(blob.av_pairs.Flags().value_or(0) & kAvFlagMicPresent, kAvFlagMicPresent);
  ASSERT_NE(blob.av_pairs.Find(kAvTargetName), nullptr);
  EXPECT_EQ(FromWire(blob.av_pairs.Find(kAvTargetName)->value, "spn"), u"zelqa/server.example");
  ASSERT_NE(blob.av_pairs.Find(kAvChannelBindings), nullptr);
  EXPECT_EQ(blob.av_pairs.Find(kAvChannelBindings)->value, std::vector<uint8_t>(16, 0));
  EXPECT_NE(blob.av_pairs.Find(kAvNbComputerName), nullptr);  // the server's pairs stay
  EXPECT_EQ(auth.encrypted_session_key.size(), 16u);
  EXPECT_TRUE(auth.flags & flag::kKeyExchange);
  EXPECT_EQ(server->Step(authenticate, last), StepResult::kComplete);
}

TEST_F(NtlmHandshake, AccountsMatchWithoutCaseAndOnlyWithTheirPassword) {
  const struct {
    ClientCredentials creds;
    const char* peer;  // nullptr: refused
  } cases[] = {
      {Creds(u"BOB", u"other", u"s3cret"), "OTHER\\bob"},  // the account's spelling
      {Creds(u"bob", u"", u"s3cret"), "OTHER\\bob"},
      {Creds(u"alice@example", u"", u"correct horse:battery"), "EXAMPLE\\alice"},
      {Creds(u"carol", u"SOMEWHERE", u"anywhere"), "SOMEWHERE\\carol"},
      {Creds(u"alice", u"EXAMPLE", u"wrong password!"), nullptr},
      {Creds(u"mallory", u"EXAMPLE", u"correct horse:battery"), nullptr},
      {Creds(u"alice", u"OTHER", u"correct horse:battery"), nullptr},
      {Creds(u"bob", u"OTHER", u"S3CRET"), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.peer ? c.peer : "refused");
    Pair p = Make(c.creds);
    ToAuthenticate(p);
    std::string what;
    const Status s = StatusOf([&] { p.server->Step(p.authenticate, p.last); }, &what);
    if (c.peer) {
      EXPECT_EQ(s, kOk);
      EXPECT_EQ(p.server->PeerName(), c.peer);
      continue;
    }
    EXPECT_EQ(s, kErrorAccessDenied);
    EXPECT_EQ(what.find("wrong password!"), std::string::npos);
    EXPECT_EQ(what.find("battery"), std::string::npos);
    EXPECT_FALSE(p.server->IsEstablished());
    // A failed context stays failed.
    EXPECT_EQ(StatusOf([&] { p.server->Step(p.authenticate, p.last); }), kSecPkgError);
  }
}

TEST_F(NtlmHandshake, TamperedTokensFail) {
  // A changed server challenge makes the proof fail; changed flags or target information make
  // the MIC fail (the acceptor hashes the challenge it sent). A broken signature is refused by
  // the client itself.
  const struct {
    bool challenge;  // else the AUTHENTICATE
    size_t offset;
    Status expected;  // for the AUTHENTICATE: either refusal
  } cases[] = {{true, 24, kErrorAccessDenied}, {true, 22, kSecPkgError},
               {true, 0, kSecPkgError},        {false, 60, 0},
               {false, kMicOffset, 0},         {false, 100, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.challenge << " " << c.offset);
    Pair p = Make(Alice());
    p.client->Step({}, p.negotiate);
    p.server->Step(p.negotiate, p.challenge);
    if (c.challenge) p.challenge[c.offset] ^= 0x01;
    const Status client = StatusOf([&] { p.client->Step(p.challenge, p.authenticate); });
    if (c.offset == 0) {
      EXPECT_EQ(client, kSecPkgError);
      continue;
    }
    if (!c.challenge) p.authenticate[c.offset] ^= 0x04;
    const Status s = StatusOf([&] { p.server->Step(p.authenticate, p.last); });
    if (c.challenge) {
      EXPECT_EQ(s, c.expected);
    } else {
      EXPECT_TRUE(s == kSecPkgError || s == kErrorAccessDenied) << s;
    }
    EXPECT_FALSE(p.server->IsEstablished());
  }
}

TEST_F(NtlmHandshake, OutOfOrderUseIsAnError) {
  Pair p = Make(Alice());
  uint8_t sig[16];
  EXPECT_EQ(StatusOf([&] { p.client->Sign({}, sig); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { p.client->SessionKeyForTesting(); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { p.client->Step(std::vector<uint8_t>{1}, p.last); }), kSecPkgError);
  Run(p = Make(Alice()));
  EXPECT_EQ(StatusOf([&] { p.client->Step({}, p.last); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { p.server->Step({}, p.last); }), kSecPkgError);
}

// Windows keeps NTLM under SPNEGO like this: the mechListMIC takes sequence number 0 in each
// direction, then the sealing streams restart and the first sealed message carries 1. Raw
// NTLM ignores the restart, which must not reset only one side's stream.
TEST_F(NtlmHandshake, SequenceNumbersUnderSpnegoAndRaw) {
  auto first_sealed_sequence = [&](bool under_spnego) {
    Pair p = Make(Alice(), under_spnego);
    Run(p);
    if (under_spnego) {
      const std::vector<uint8_t> mech_list = {0x30, 0x0c, 0x06, 0x0a};
      p.server->VerifyMic(mech_list, p.client->GetMic(mech_list));
      p.client->VerifyMic(mech_list, p.server->GetMic(mech_list));
      p.server->ResetAfterMechListMic();
    }
    p.client->ResetAfterMechListMic();
    std::vector<uint8_t> body = {'x', 'y', 'z'};
    IoBuffer b{IoBuffer::Kind::kData, body};
    std::vector<uint8_t> sig(16);
    p.client->Seal({&b, 1}, sig);
    p.server->Unseal({&b, 1}, sig);
    EXPECT_EQ(body, (std::vector<uint8_t>{'x', 'y', 'z'}));
    ExpectSealRoundTrip(*p.server, *p.client, "reply");
    return LoadU32(sig.data() + 12);
  };
  EXPECT_EQ(first_sealed_sequence(false), 0u);
  EXPECT_EQ(first_sealed_sequence(true), 1u);
}

TEST(NtlmCredentials, CurrentUserAndAcceptorAccountsComeFromFiles) {
  TempFile users("REALM:dave:pw1\nREALM:erin:pw2\n");
  TempFile server_accounts("REALM:dave:pw1\n");
  {
    rpcrt::testing::ScopedEnv env("NTLM_USER_FILE", users.path());
    auto client = CreateNtlmInitiator(ClientCredentials{}, false);
    auto server = CreateNtlmAcceptor(ServerCredentials{server_accounts.path(), "", ""}, false);
    std::vector<uint8_t> a, b, c, d;
    client->Step({}, a);
    server->Step(a, b);
    client->Step(b, c);
    server->Step(c, d);
    EXPECT_EQ(server->PeerName(), "REALM\\dave");
  }
  unsetenv("NTLM_USER_FILE");
  EXPECT_EQ(StatusOf([] { CreateNtlmInitiator(ClientCredentials{}, false); }), kSecPkgError);
  setenv("NTLM_USER_FILE", "/nonexistent/zelqa-users", 1);
  EXPECT_EQ(StatusOf([] { CreateNtlmInitiator(ClientCredentials{}, false); }), kSecPkgError);
  for (const char* accounts : {"", "/nonexistent/accounts"}) {
    EXPECT_EQ(StatusOf([&] {
                CreateNtlmAcceptor(ServerCredentials{accounts, "", ""}, false);
              }),
              kSecPkgError);
  }
}

TEST(NtlmInitiator, RefusesServersThatCannotSealWithNtlmV2) {
  const uint32_t good = flag::kUnicode | flag::kExtendedSessionSecurity | flag::k128 | flag::kSign |
                        flag::kSeal | flag::kTargetInfo | flag::kNtlm;
  const struct {
    uint32_t flags;
    const char* named;
  } cases[] = {{good & ~flag::kExtendedSessionSecurity, "extended session security"},
               {good & ~flag::k128, "128-bit"},
               {good & ~flag::kSeal, "sealing"},
               {good & ~flag::kTargetInfo, "target information"}};
  for (const auto& c : cases) {
    ChallengeMessage challenge;
    challenge.flags = c.flags;
    challenge.target_info = AvPairs().Encode();
    auto client = CreateNtlmInitiator(Creds(u"u", u"D", u"p"), false);
    std::vector<uint8_t> out;
    client->Step({}, out);
    std::string what;
    EXPECT_EQ(StatusOf([&] { client->Step(EncodeChallenge(challenge), out); }, &what),
              kSecPkgError);
    EXPECT_NE(what.find(c.named), std::string::npos) << what;
  }
}

TEST(NtlmAcceptor, RefusesClientsWithoutExtendedSessionSecurity) {
  auto server = CreateAcceptor(AccountStore::Parse("D:u:p\n", "test"), {});
  std::vector<uint8_t> out;
  EXPECT_EQ(StatusOf([&] { server->Step(EncodeNegotiate({flag::kUnicode | flag::k128}), out); }),
            kSecPkgError);
}

}  // namespace
}  // namespace rpcrt::security::ntlm
