// Our initiator and acceptor used out of their order.
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/initiator.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/server/security/ntlm/acceptor.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using namespace rpcrt::testing;

TEST(NtlmHandshake, OutOfOrderUseIsAnError) {
  TempFile accounts{"EXAMPLE:alice:correct horse:battery\n"};
  const ClientCredentials alice{Identity(u"alice", u"EXAMPLE", u"correct horse:battery")};
  auto client = CreateNtlmInitiator(alice, false, u"host/server.example");
  auto server = CreateNtlmAcceptor(ServerCredentials{accounts.path(), "", ""}, false);
  std::vector<uint8_t> negotiate, challenge, authenticate, last;
  uint8_t sig[16];
  EXPECT_EQ(StatusOf([&] { client->Sign({}, sig); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { client->SessionKeyForTesting(); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { client->Step(std::vector<uint8_t>{1}, last); }), kSecPkgError);

  client = CreateNtlmInitiator(alice, false, u"host/server.example");
  EXPECT_EQ(client->Step({}, negotiate), StepResult::kContinue);
  EXPECT_EQ(server->Step(negotiate, challenge), StepResult::kContinue);
  EXPECT_EQ(client->Step(challenge, authenticate), StepResult::kComplete);
  EXPECT_EQ(server->Step(authenticate, last), StepResult::kComplete);
  EXPECT_TRUE(last.empty());
  EXPECT_EQ(StatusOf([&] { client->Step({}, last); }), kSecPkgError);
  EXPECT_EQ(StatusOf([&] { server->Step({}, last); }), kSecPkgError);
}

}  // namespace
}  // namespace rpcrt::security::ntlm
