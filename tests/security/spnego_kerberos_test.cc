// SPNEGO carrying Kerberos: our acceptor following MIT's SPNEGO initiator.
#include <gtest/gtest.h>

#include "handshake.h"
#include "kdc_fixture.h"
#include "mit_context.h"
#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"
#include "rpcrt/server/security/spnego/spnego_acceptor.h"

namespace {

using namespace rpcrt::security;
using namespace zelqa::testing;

constexpr const char* kTarget = "zelqa/localhost@ZELQA.TEST";

std::unique_ptr<SecurityContext> OurAcceptor() {
  std::vector<std::unique_ptr<Mechanism>> mechs;
  mechs.push_back(CreateKerberosAcceptor({"", KdcEnvironment::kdc().keytab(), ""}));
  return std::make_unique<spnego::SpnegoAcceptor>(std::move(mechs));
}

std::unique_ptr<MitContext> MitInitiator(OM_uint32 flags) {
  return MitContext::Initiator(kTarget, flags, "alice@ZELQA.TEST",
                               KdcEnvironment::kdc().Password("alice"));
}

constexpr OM_uint32 kDceFlags = GSS_C_DCE_STYLE | GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG |
                                GSS_C_SEQUENCE_FLAG | GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG;

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

}  // namespace
