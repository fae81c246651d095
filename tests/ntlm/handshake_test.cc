// Our initiator and acceptor used out of their order.
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/acceptor.h"
#include "rpcrt/security/ntlm/initiator.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using namespace rpcrt::testing;

const char kAccounts[] = "EXAMPLE:alice:correct horse:battery\n";

ClientCredentials Alice() {
  return ClientCredentials{Identity(u"alice", u"EXAMPLE", u"correct horse:battery")};
}

struct Pair {
  std::unique_ptr<Mechanism> client;
  std::unique_ptr<Mechanism> server;
  std::vector<uint8_t> negotiate, challenge, authenticate, last;
};

class NtlmHandshake : public ::testing::Test {
 protected:
  Pair Make(const ClientCredentials& creds) {
    Pair p;
    p.client = CreateNtlmInitiator(creds, false, u"host/server.example");
    p.server = CreateNtlmAcceptor(ServerCredentials{file_.path(), "", ""}, false);
    return p;
  }
  static void Run(Pair& p) {
    EXPECT_EQ(p.client->Step({}, p.negotiate), StepResult::kContinue);
    EXPECT_EQ(p.server->Step(p.negotiate, p.challenge), StepResult::kContinue);
    EXPECT_EQ(p.client->Step(p.challenge, p.authenticate), StepResult::kComplete);
    EXPECT_EQ(p.server->Step(p.authenticate, p.last), StepResult::kComplete);
    EXPECT_TRUE(p.last.empty());
  }

  TempFile file_{kAccounts};
};

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

}  // namespace
}  // namespace rpcrt::security::ntlm
