// The Negotiate package as the factories build it: Kerberos when it can be had, NTLM when
// not, the acceptor offering what its credentials allow.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>

#include "handshake.h"
#include "kdc_fixture.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using namespace zelqa::testing;

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

  std::string alice_;
  std::string accounts_;
};

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

}  // namespace
