// Our Kerberos initiator against our Kerberos acceptor, through a real KDC.
#include <gtest/gtest.h>

#include "handshake.h"
#include "kdc_fixture.h"
#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using namespace zelqa::testing;

ClientCredentials Alice() {
  const std::string pw = KdcEnvironment::kdc().Password("alice");
  return {Identity(u"alice", u"zelqa.test", U16(pw))};
}

ServerCredentials Server() {
  return {"", KdcEnvironment::kdc().keytab(), ""};
}

struct Pair {
  std::unique_ptr<Mechanism> client;
  std::unique_ptr<Mechanism> server;
};

Pair Connected(const ClientCredentials& creds, AuthnLevel level = AuthnLevel::kPktPrivacy) {
  Pair p{CreateKerberosInitiator(AcquireKerberosCredential(creds), u"zelqa/localhost", level),
         CreateKerberosAcceptor(Server())};
  // DCE style: AP-REQ, AP-REP, and the client's answering AP-REP that expects no reply.
  EXPECT_EQ(Establish(*p.client, *p.server), (std::vector<std::string>{"C", "S", "C"}));
  return p;
}

TEST(KerberosTest, ExplicitPasswordAuthenticatesTheUser) {
  Pair p = Connected(Alice());
  EXPECT_EQ(p.server->PeerName(), "ZELQA.TEST\\alice");
  EXPECT_FALSE(p.client->SessionKeyForTesting().empty());
  EXPECT_EQ(p.client->SessionKeyForTesting(), p.server->SessionKeyForTesting());
}

TEST(KerberosTest, RejectedCredentialsAreAccessDeniedOthersUnavailable) {
  const std::string wrong = "Not-The-Password-1234";
  try {
    AcquireKerberosCredential({Identity(u"alice", u"ZELQA.TEST", U16(wrong))});
    FAIL() << "a wrong password was accepted";
  } catch (const KerberosUnavailable&) {
    FAIL() << "a wrong password must not read as 'Kerberos unavailable'";
  } catch (const rpcrt::RpcError& e) {
    EXPECT_EQ(e.status(), rpcrt::kErrorAccessDenied);
    EXPECT_EQ(std::string(e.what()).find(wrong), std::string::npos);
  }

  // A user the KDC does not know: Negotiate may still try NTLM, so it reads as unavailable.
  try {
    AcquireKerberosCredential({Identity(u"nobody", u"ZELQA.TEST", u"whatever")});
    FAIL() << "an unknown user got a ticket";
  } catch (const KerberosUnavailable& e) {
    EXPECT_EQ(e.status(), rpcrt::kErrorAccessDenied);
  }
  EXPECT_THROW(AcquireKerberosCredential({Identity(u"alice", u"NO-SUCH-REALM.TEST", u"x")}),
               KerberosUnavailable);
}

TEST(KerberosTest, AcceptorNeedsAUsableKeytabAndRejectsGarbage) {
  EXPECT_THROW(CreateKerberosAcceptor(ServerCredentials{}), KerberosUnavailable);
  ServerCredentials missing;
  missing.keytab = KdcEnvironment::kdc().dir() + "/missing.keytab";
  EXPECT_THROW(CreateKerberosAcceptor(missing), KerberosUnavailable);

  std::vector<uint8_t> out;
  const std::vector<uint8_t> garbage = {0x60, 0x03, 0x06, 0x01, 0x00};
  EXPECT_EQ(StatusOf([&] { CreateKerberosAcceptor(Server())->Step(garbage, out); }),
            rpcrt::kSecPkgError);
  EXPECT_EQ(StatusOf([&] { CreateKerberosAcceptor(Server())->Step({}, out); }),
            rpcrt::kSecPkgError);
}

TEST(KerberosTest, IntegrityLevelSignsWithoutEncrypting) {
  Pair p = Connected(Alice(), AuthnLevel::kPktIntegrity);
  const Pdu original = MakePdu(200, 5);
  Pdu pdu = original;
  Sign(*p.client, pdu);
  EXPECT_EQ(pdu.body, original.body);
  Verify(*p.server, pdu);

  Pdu forged = MakePdu(200, 6);
  Sign(*p.client, forged);
  forged.body[0] ^= 0x80;
  EXPECT_EQ(StatusOf([&] { Verify(*p.server, forged); }), rpcrt::kSecPkgError);
}

}  // namespace
