// The Negotiate package as the factories build it: Kerberos when it can be had, NTLM when
// not, the acceptor offering what its credentials allow; and NTLM under SPNEGO against MIT's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <functional>

#include "handshake.h"
#include "kdc_fixture.h"
#include "mit_context.h"
#include "rpcrt/security/auth_notes.h"
#include "rpcrt/security/oids.h"
#include "rpcrt/security/spnego/negotiated_context.h"
#include "rpcrt/server/security/server_context.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using zelqa::testing::Establish;
using zelqa::testing::ExpectSealedTraffic;
using zelqa::testing::KdcEnvironment;
using zelqa::testing::MitContext;
using zelqa::testing::StatusOf;
using zelqa::testing::U16;

class NegotiateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto& kdc = KdcEnvironment::kdc();
    alice_ = kdc.Password("alice");
    // NTLM accounts: alice under the realm name, and carol of a workgroup that has no KDC.
    accounts_ = kdc.dir() + "/ntlm.accounts";
    std::ofstream(accounts_) << "ZELQA.TEST:alice:" << alice_
                             << "\nWORKGROUP:carol:Carol-pw-1\nZELQA.TEST:nopw:\n";
    setenv("NTLM_USER_FILE", accounts_.c_str(), 1);
  }

  ClientCredentials Alice() const { return {Identity(u"alice", u"ZELQA.TEST", U16(alice_))}; }
  static ClientCredentials Carol() { return {Identity(u"carol", u"WORKGROUP", u"Carol-pw-1")}; }

  ServerCredentials Server(bool keytab, bool ntlm) const {
    ServerCredentials s;
    if (keytab) s.keytab = KdcEnvironment::kdc().keytab();
    if (ntlm) s.ntlm_account_file = accounts_;
    return s;
  }
  static std::unique_ptr<SecurityContext> Client(
      const ClientCredentials& creds, AuthnService service = AuthnService::kGssNegotiate) {
    return CreateClientContext(service, creds, u"zelqa/localhost", AuthnLevel::kPktPrivacy);
  }
  std::unique_ptr<SecurityContext> Acceptor(bool keytab = true, bool ntlm = true,
                                            AuthnService service = AuthnService::kGssNegotiate) {
    return CreateServerContext(service, Server(keytab, ntlm));
  }

  static std::span<const uint8_t> Negotiated(const SecurityContext& ctx) {
    const auto* negotiated = dynamic_cast<const spnego::NegotiatedContext*>(&ctx);
    if (negotiated == nullptr || negotiated->negotiated() == nullptr) return {};
    return negotiated->negotiated()->Oid();
  }

  std::string alice_;
  std::string accounts_;
};

TEST_F(NegotiateTest, KerberosIsChosenWhenTheUserCanGetATicket) {
  auto client = Client(Alice());
  auto server = Acceptor();
  EXPECT_EQ(Establish(*client, *server), (std::vector<std::string>{"C", "S", "C", "S"}));
  EXPECT_TRUE(oids::Equal(Negotiated(*client), oids::kKerberos));
  EXPECT_EQ(server->PeerName(), "ZELQA.TEST\\alice");
  ExpectSealedTraffic(*client, *server);
}

TEST_F(NegotiateTest, LaterConnectionsOfOneBindingAskTheKdcNothing) {
  auto kdc_requests = [] {
    std::ifstream log(KdcEnvironment::kdc().dir() + "/kdc.log");
    int n = 0;
    for (std::string line; std::getline(log, line);)
      n += line.find("AS_REQ") != std::string::npos || line.find("TGS_REQ") != std::string::npos;
    return n;
  };
  auto connect = [this](const ClientCredentials& credentials) {
    auto client = Client(credentials);
    auto server = Acceptor(true, false);
    Establish(*client, *server);
    ExpectSealedTraffic(*client, *server);
    EXPECT_EQ(server->PeerName(), "ZELQA.TEST\\alice");
  };
  const ClientCredentials binding = Alice();
  const int before = kdc_requests();
  connect(binding);
  const int first = kdc_requests();
  EXPECT_EQ(first - before, 2) << "a ticket-granting ticket and a service ticket";
  const ClientCredentials later = binding;  // what the binding hands its next connection
  connect(later);
  connect(binding);
  EXPECT_EQ(kdc_requests(), first);
  connect(Alice());
  EXPECT_EQ(kdc_requests(), first + 2) << "other credentials get tickets of their own";
}

TEST_F(NegotiateTest, NtlmWhenTheDomainHasNoKdc) {
  auto client = Client(Carol());
  auto server = Acceptor();
  // NEGOTIATE, CHALLENGE, AUTHENTICATE + mechListMIC, accept-completed + mechListMIC.
  EXPECT_EQ(Establish(*client, *server), (std::vector<std::string>{"C", "S", "C", "S"}));
  EXPECT_TRUE(oids::Equal(Negotiated(*server), oids::kNtlm));
  EXPECT_EQ(server->PeerName(), "WORKGROUP\\carol");
  ExpectSealedTraffic(*client, *server);

  // The copies a binding hands its later connections know it already: no second KDC look-up,
  // and NTLM still works for them. Other credentials look again.
  const ClientCredentials carol = Carol();
  Client(carol);
  const ClientCredentials later = carol;
  EXPECT_TRUE(later.kerberos_unusable->load());
  auto again = Client(later);
  auto server2 = Acceptor();
  EXPECT_EQ(Establish(*again, *server2).size(), 4u);
  EXPECT_FALSE(Carol().kerberos_unusable->load());
  EXPECT_FALSE(Alice().kerberos_unusable->load());
}

std::vector<std::string> g_notes;

TEST_F(NegotiateTest, EmptyPasswordInARealmWithAKdcUsesNtlmAndSaysWhy) {
  g_notes.clear();
  SetAuthNoteReceiver([](const std::string& note) { g_notes.push_back(note); });
  const ClientCredentials nopw{Identity(u"nopw", u"ZELQA.TEST", u"")};
  auto client = Client(nopw);
  auto server = Acceptor();
  EXPECT_EQ(Establish(*client, *server).size(), 4u);
  EXPECT_TRUE(oids::Equal(Negotiated(*server), oids::kNtlm));
  EXPECT_EQ(server->PeerName(), "ZELQA.TEST\\nopw");
  SetAuthNoteReceiver(nullptr);
  ASSERT_EQ(g_notes.size(), 2u);
  EXPECT_THAT(g_notes[0], ::testing::AllOf(::testing::HasSubstr("falling back to NTLM"),
                                           ::testing::HasSubstr("empty password")));
  EXPECT_EQ(g_notes[1], "Negotiate: settled on NTLM as ZELQA.TEST\\nopw");
}

TEST_F(NegotiateTest, ServerWithoutKeytabSteersAKerberosClientToNtlm) {
  auto client = Client(Alice());
  auto server = Acceptor(false, true);
  // The optimistic Kerberos token is wasted; NTLM starts over under a required MIC.
  EXPECT_EQ(Establish(*client, *server).size(), 6u);
  EXPECT_TRUE(oids::Equal(Negotiated(*client), oids::kNtlm));
  EXPECT_EQ(server->PeerName(), "ZELQA.TEST\\alice");
  ExpectSealedTraffic(*client, *server);
}

TEST_F(NegotiateTest, WrongPasswordIsAccessDeniedWithoutFallingBack) {
  EXPECT_EQ(StatusOf([&] { Client({Identity(u"alice", u"ZELQA.TEST", u"wrong")}); }),
            rpcrt::kErrorAccessDenied);

  // Through NTLM the verdict comes from the server, at the third leg.
  auto client = Client({Identity(u"carol", u"WORKGROUP", u"wrong")});
  auto server = Acceptor();
  EXPECT_EQ(StatusOf([&] { Establish(*client, *server); }), rpcrt::kErrorAccessDenied);
}

TEST_F(NegotiateTest, RawServicesAndTheirFailures) {
  auto krb_client = Client(Alice(), AuthnService::kGssKerberos);
  auto krb_server = Acceptor(true, false, AuthnService::kGssKerberos);
  EXPECT_EQ(Establish(*krb_client, *krb_server), (std::vector<std::string>{"C", "S", "C"}));

  auto ntlm_client = Client(Carol(), AuthnService::kWinNt);
  auto ntlm_server = Acceptor(false, true, AuthnService::kWinNt);
  EXPECT_EQ(Establish(*ntlm_client, *ntlm_server), (std::vector<std::string>{"C", "S", "C"}));
  ExpectSealedTraffic(*ntlm_client, *ntlm_server);

  // Windows-family Negotiate clients may open with bare NTLM instead of SPNEGO: the acceptor
  // answers in kind, in the same three legs, unless it has no NTLM accounts.
  auto bare_client = Client(Carol(), AuthnService::kWinNt);
  auto negotiate_server = Acceptor();
  EXPECT_EQ(Establish(*bare_client, *negotiate_server), (std::vector<std::string>{"C", "S", "C"}));
  EXPECT_EQ(negotiate_server->PeerName(), "WORKGROUP\\carol");
  EXPECT_TRUE(negotiate_server->SignsWholePdu());
  ExpectSealedTraffic(*bare_client, *negotiate_server);
  auto refused_client = Client(Carol(), AuthnService::kWinNt);
  auto kerberos_only = Acceptor(true, false);
  EXPECT_EQ(StatusOf([&] { Establish(*refused_client, *kerberos_only); }), rpcrt::kSecPkgError);
  EXPECT_FALSE(krb_server->SignsWholePdu());

  EXPECT_EQ(StatusOf([&] { Client(Alice(), AuthnService::kNone); }), rpcrt::kUnknownAuthnService);
  EXPECT_EQ(StatusOf([&] { Acceptor(false, false); }), rpcrt::kSecPkgError);
  EXPECT_EQ(StatusOf([&] { Acceptor(false, true, AuthnService::kGssKerberos); }),
            rpcrt::kSecPkgError);
  // Raw Kerberos has nothing to fall back to.
  EXPECT_EQ(StatusOf([&] { Client(Carol(), AuthnService::kGssKerberos); }), rpcrt::kSecPkgError);
}

TEST_F(NegotiateTest, OurNtlmUnderSpnegoWithMitAcceptor) {
  auto client = Client(Carol());
  auto server = MitContext::Acceptor();
  Establish(*client, *server);
  // gss-ntlmssp's display name carries a stray terminator; compare the text before it.
  EXPECT_STREQ(server->PeerName().c_str(), "WORKGROUP\\carol");
  // gss-ntlmssp seals a single data buffer (no IOV interface): so do we, for the comparison.
  ExpectSealedTraffic(*client, *server, /*data_only=*/true);
}

TEST_F(NegotiateTest, MitNtlmUnderSpnegoWithOurAcceptor) {
  // gss-ntlmssp takes the first entry of NTLM_USER_FILE as the current user: alice.
  auto client = MitContext::SpnegoNtlmInitiator("zelqa@localhost");
  auto server = Acceptor();
  Establish(*client, *server);
  EXPECT_TRUE(oids::Equal(Negotiated(*server), oids::kNtlm));
  EXPECT_EQ(server->PeerName(), "ZELQA.TEST\\alice");
  // gss-ntlmssp seals a single data buffer (no IOV interface): so do we, for the comparison.
  ExpectSealedTraffic(*client, *server, /*data_only=*/true);
}

}  // namespace
