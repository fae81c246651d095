// The Negotiate package as the factories build it: Kerberos when it can be had, NTLM when
// not, the acceptor offering what its credentials allow.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>

#include "handshake.h"
#include "kdc_fixture.h"
#include "rpcrt/server/security/server_context.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using namespace zelqa::testing;

TEST(NegotiateTest, RawServicesAndTheirFailures) {
  const auto& kdc = KdcEnvironment::kdc();
  const std::string alice_password = kdc.Password("alice");
  // NTLM accounts: alice under the realm name, and carol of a workgroup that has no KDC.
  const std::string accounts = kdc.dir() + "/ntlm.accounts";
  std::ofstream(accounts) << "ZELQA.TEST:alice:" << alice_password
                          << "\nWORKGROUP:carol:Carol-pw-1\nZELQA.TEST:nopw:\n";
  setenv("NTLM_USER_FILE", accounts.c_str(), 1);
  const ClientCredentials alice{Identity(u"alice", u"ZELQA.TEST", U16(alice_password))};
  const ClientCredentials carol{Identity(u"carol", u"WORKGROUP", u"Carol-pw-1")};
  auto client = [](const ClientCredentials& creds,
                   AuthnService service = AuthnService::kGssNegotiate) {
    return CreateClientContext(service, creds, u"zelqa/localhost", AuthnLevel::kPktPrivacy);
  };
  auto acceptor = [&](bool keytab = true, bool ntlm = true,
                      AuthnService service = AuthnService::kGssNegotiate) {
    return CreateServerContext(service, {ntlm ? accounts : "", keytab ? kdc.keytab() : "", ""});
  };

  auto krb_client = client(alice, AuthnService::kGssKerberos);
  auto krb_server = acceptor(true, false, AuthnService::kGssKerberos);
  EXPECT_EQ(Establish(*krb_client, *krb_server), (std::vector<std::string>{"C", "S", "C"}));

  auto ntlm_client = client(carol, AuthnService::kWinNt);
  auto ntlm_server = acceptor(false, true, AuthnService::kWinNt);
  EXPECT_EQ(Establish(*ntlm_client, *ntlm_server), (std::vector<std::string>{"C", "S", "C"}));
  ExpectSealedTraffic(*ntlm_client, *ntlm_server);

  // Windows-family Negotiate clients may open with bare NTLM instead of SPNEGO: the acceptor
  // answers in kind, in the same three legs, unless it has no NTLM accounts.
  auto bare_client = client(carol, AuthnService::kWinNt);
  auto negotiate_server = acceptor();
  EXPECT_EQ(Establish(*bare_client, *negotiate_server), (std::vector<std::string>{"C", "S", "C"}));
  EXPECT_EQ(negotiate_server->PeerName(), "WORKGROUP\\carol");
  EXPECT_TRUE(negotiate_server->SignsWholePdu());
  ExpectSealedTraffic(*bare_client, *negotiate_server);
  auto refused_client = client(carol, AuthnService::kWinNt);
  auto kerberos_only = acceptor(true, false);
  EXPECT_EQ(StatusOf([&] { Establish(*refused_client, *kerberos_only); }), rpcrt::kSecPkgError);
  EXPECT_FALSE(krb_server->SignsWholePdu());

  EXPECT_EQ(StatusOf([&] { client(alice, AuthnService::kNone); }), rpcrt::kUnknownAuthnService);
  EXPECT_EQ(StatusOf([&] { acceptor(false, false); }), rpcrt::kSecPkgError);
  EXPECT_EQ(StatusOf([&] { acceptor(false, true, AuthnService::kGssKerberos); }),
            rpcrt::kSecPkgError);
  // Raw Kerberos has nothing to fall back to.
  EXPECT_EQ(StatusOf([&] { client(carol, AuthnService::kGssKerberos); }), rpcrt::kSecPkgError);
}

}  // namespace
