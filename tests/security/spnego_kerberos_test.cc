// SPNEGO carrying Kerberos: ours against MIT's SPNEGO both ways, and forged answers to ours.
#include <gtest/gtest.h>

#include <functional>

#include "handshake.h"
#include "kdc_fixture.h"
#include "mit_context.h"
#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/spnego/negotiation_token.h"
#include "rpcrt/security/spnego/spnego_initiator.h"
#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"
#include "rpcrt/server/security/spnego/spnego_acceptor.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using zelqa::testing::Establish;
using zelqa::testing::ExpectSealedTraffic;
using zelqa::testing::KdcEnvironment;
using zelqa::testing::MitContext;
using zelqa::testing::StatusOf;
using zelqa::testing::U16;

constexpr const char* kTarget = "zelqa/localhost@ZELQA.TEST";

std::unique_ptr<SecurityContext> OurInitiator() {
  const std::string pw = KdcEnvironment::kdc().Password("alice");
  std::vector<std::unique_ptr<Mechanism>> mechs;
  mechs.push_back(CreateKerberosInitiator(
      AcquireKerberosCredential({Identity(u"alice", u"ZELQA.TEST", U16(pw))}), u"zelqa/localhost"));
  return std::make_unique<spnego::SpnegoInitiator>(std::move(mechs));
}

std::unique_ptr<SecurityContext> OurAcceptor() {
  ServerCredentials s;
  s.keytab = KdcEnvironment::kdc().keytab();
  std::vector<std::unique_ptr<Mechanism>> mechs;
  mechs.push_back(CreateKerberosAcceptor(s));
  return std::make_unique<spnego::SpnegoAcceptor>(std::move(mechs));
}

std::unique_ptr<MitContext> MitInitiator(OM_uint32 flags) {
  return MitContext::Initiator(zelqa::testing::SpnegoOid(), kTarget, flags, "alice@ZELQA.TEST",
                               KdcEnvironment::kdc().Password("alice"));
}

constexpr OM_uint32 kDceFlags = GSS_C_DCE_STYLE | GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG |
                                GSS_C_SEQUENCE_FLAG | GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG;

TEST(SpnegoKerberosTest, OurInitiatorWithMitAcceptor) {
  auto client = OurInitiator();
  auto server = MitContext::Acceptor();
  Establish(*client, *server);
  EXPECT_EQ(server->PeerName(), "alice@ZELQA.TEST");
  EXPECT_TRUE(server->flags() & GSS_C_DCE_STYLE);
  ExpectSealedTraffic(*client, *server);
}

class MitInitiatorTest : public ::testing::TestWithParam<OM_uint32> {};

TEST_P(MitInitiatorTest, OurAcceptorFollowsMitInitiator) {
  auto client = MitInitiator(GetParam());
  auto server = OurAcceptor();
  Establish(*client, *server);
  EXPECT_EQ(server->PeerName(), "ZELQA.TEST\\alice");
  ExpectSealedTraffic(*client, *server);
}

INSTANTIATE_TEST_SUITE_P(Flags, MitInitiatorTest,
                         ::testing::Values(kDceFlags, kDceFlags & ~GSS_C_DCE_STYLE),
                         [](const auto& info) {
                           return (info.param & GSS_C_DCE_STYLE) ? "DceStyle" : "ThreeLegsNot";
                         });

// Runs the first two legs by hand and returns the client's third token.
std::vector<uint8_t> ThirdToken(SecurityContext& client, SecurityContext& server) {
  std::vector<uint8_t> t1, t2, t3;
  client.Step({}, t1);
  server.Step(t1, t2);
  client.Step(t2, t3);
  return t3;
}

TEST(SpnegoKerberosTest, AcceptorRejectsAForgedMechListMic) {
  auto client = OurInitiator();
  auto server = OurAcceptor();
  auto resp = spnego::DecodeResp(ThirdToken(*client, *server));
  ASSERT_TRUE(resp.mech_list_mic.has_value());
  resp.mech_list_mic->back() ^= 0x01;
  std::vector<uint8_t> out;
  EXPECT_EQ(StatusOf([&] { server->Step(spnego::EncodeResp(resp), out); }), rpcrt::kSecPkgError);
  EXPECT_FALSE(server->IsEstablished());
  EXPECT_TRUE(out.empty());
}

TEST(SpnegoKerberosTest, InitiatorRejectsAForgedOrMissingAnswer) {
  for (bool drop : {false, true}) {
    SCOPED_TRACE(drop ? "missing" : "forged");
    auto client = OurInitiator();
    auto server = OurAcceptor();
    std::vector<uint8_t> t4;
    server->Step(ThirdToken(*client, *server), t4);
    auto resp = spnego::DecodeResp(t4);
    ASSERT_TRUE(resp.mech_list_mic.has_value());
    if (drop) {
      // Without a MIC the answer is acceptable only if the acceptor completed; make it claim
      // it has not, which leaves the negotiation with nowhere to go.
      resp.mech_list_mic.reset();
      resp.neg_state = spnego::NegState::kAcceptIncomplete;
    } else {
      resp.mech_list_mic->front() ^= 0x40;
    }
    std::vector<uint8_t> out;
    EXPECT_EQ(StatusOf([&] { client->Step(spnego::EncodeResp(resp), out); }), rpcrt::kSecPkgError);
    EXPECT_FALSE(client->IsEstablished());
  }
}

TEST(SpnegoKerberosTest, RejectionByTheServerIsAccessDenied) {
  auto client = OurInitiator();
  std::vector<uint8_t> t1, out;
  client->Step({}, t1);
  spnego::NegTokenResp reject;
  reject.neg_state = spnego::NegState::kReject;
  EXPECT_EQ(StatusOf([&] { client->Step(spnego::EncodeResp(reject), out); }),
            rpcrt::kErrorAccessDenied);
}

}  // namespace
