// Our Kerberos initiator against our Kerberos acceptor, through a real KDC.
#include <gtest/gtest.h>

#include <functional>

#include "handshake.h"
#include "kdc_fixture.h"
#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using zelqa::testing::Establish;
using zelqa::testing::KdcEnvironment;
using zelqa::testing::MakePdu;
using zelqa::testing::Pdu;
using zelqa::testing::Seal;
using zelqa::testing::Sign;
using zelqa::testing::StatusOf;
using zelqa::testing::U16;
using zelqa::testing::Unseal;
using zelqa::testing::Verify;

ClientCredentials Alice() {
  const std::string pw = KdcEnvironment::kdc().Password("alice");
  return {Identity(u"alice", u"zelqa.test", U16(pw))};
}

ServerCredentials Server() {
  ServerCredentials s;
  s.keytab = KdcEnvironment::kdc().keytab();
  return s;
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

TEST(KerberosTest, CurrentUserComesFromTheTicketCache) {
  const auto& kdc = KdcEnvironment::kdc();
  kdc.Kinit("bob");
  Pair p = Connected(ClientCredentials{});
  EXPECT_EQ(p.server->PeerName(), "ZELQA.TEST\\bob");

  kdc.Kdestroy();
  EXPECT_THROW(AcquireKerberosCredential(ClientCredentials{}), KerberosUnavailable);
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

TEST(KerberosTest, UnknownServicePrincipalFailsTheFirstLeg) {
  auto client = CreateKerberosInitiator(AcquireKerberosCredential(Alice()), u"nosuch/localhost");
  std::vector<uint8_t> token;
  EXPECT_EQ(StatusOf([&] { client->Step({}, token); }), rpcrt::kSecPkgError);
  EXPECT_TRUE(token.empty());
  // The context stays failed rather than retrying half-way.
  EXPECT_EQ(StatusOf([&] { client->Step({}, token); }), rpcrt::kSecPkgError);
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

TEST(KerberosTest, SealedPdusRoundTripBothWays) {
  Pair p = Connected(Alice());
  for (size_t size : {size_t{0}, size_t{15}, size_t{16}, size_t{70000}}) {
    SCOPED_TRACE(size);
    const Pdu original = MakePdu(size, static_cast<uint8_t>(size));
    Pdu request = original;
    Seal(*p.client, request);
    EXPECT_EQ(request.header, original.header) << "sign-only buffers are not encrypted";
    EXPECT_EQ(request.trailer, original.trailer);
    if (size >= 16) {
      EXPECT_NE(request.body, original.body);
    }
    Unseal(*p.server, request);
    EXPECT_EQ(request.body, original.body);

    Pdu response = original;
    Seal(*p.server, response);
    Unseal(*p.client, response);
    EXPECT_EQ(response.body, original.body);
  }
}

TEST(KerberosTest, TamperedReplayedOrReorderedPdusAreRejected) {
  // A flipped bit anywhere the signature covers, or in the signature itself; then a PDU that
  // overtook its predecessor, and one that comes twice.
  for (int where = 0; where < 6; ++where) {
    SCOPED_TRACE(where);
    Pair p = Connected(Alice());
    Pdu pdu = MakePdu(100, 9);
    Seal(*p.client, pdu);
    if (where < 4) {
      std::vector<uint8_t>& part = where == 0   ? pdu.header
                                   : where == 1 ? pdu.body
                                   : where == 2 ? pdu.trailer
                                                : pdu.signature;
      part.back() ^= 0x01;
    } else {
      Pdu second = MakePdu(10, 2);
      Seal(*p.client, second);
      if (where == 4) pdu = second;
      Pdu copy = pdu;
      if (where == 5) Unseal(*p.server, copy);
    }
    EXPECT_EQ(StatusOf([&] { Unseal(*p.server, pdu); }), rpcrt::kSecPkgError);
    if (where >= 4) continue;
    // The connection is dropped after a bad PDU; the context refuses further use.
    Pdu next = MakePdu(10, 1);
    Seal(*p.client, next);
    EXPECT_EQ(StatusOf([&] { Unseal(*p.server, next); }), rpcrt::kSecPkgError);
  }
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

TEST(KerberosTest, NothingIsProtectedBeforeEstablishmentNorWithAShortSignature) {
  auto client = CreateKerberosInitiator(AcquireKerberosCredential(Alice()), u"zelqa/localhost");
  Pdu pdu = MakePdu(8, 1);
  EXPECT_EQ(StatusOf([&] { client->SignatureSize(8); }), rpcrt::kSecPkgError);
  EXPECT_EQ(StatusOf([&] { client->GetMic(pdu.body); }), rpcrt::kSecPkgError);

  Pair p = Connected(Alice());
  std::vector<uint8_t> small(p.client->SignatureSize(pdu.body.size()) - 1);
  IoBuffer buffers[] = {{IoBuffer::Kind::kData, pdu.body}};
  EXPECT_EQ(StatusOf([&] { p.client->Seal(buffers, small); }), rpcrt::kSecPkgError);
}

}  // namespace
