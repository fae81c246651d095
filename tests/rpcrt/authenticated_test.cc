// An NTLM-signed call over loopback: every request and response fragment carries its signature.
#include <gtest/gtest.h>

#include "rpcrt/client/binding.h"
#include "tests/rpcrt/test_server.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using security::AuthnLevel;
using security::AuthnService;

TEST(Authenticated, SignedCallsAtIntegrity) {
  testing::TempFile accounts{"EXAMPLE:alice:Secret-1\n"};
  server::ServerOptions options;
  options.credentials = security::ServerCredentials{accounts.path(), "", ""};
  server::Server server(options);
  server.RegisterInterface(testing::kEchoInterface, testing::kEchoOpCount, testing::Echo,
                           AuthnLevel::kPktIntegrity);
  server.Start();

  client::AuthInfo auth;
  auth.service = AuthnService::kWinNt;
  auth.level = AuthnLevel::kPktIntegrity;
  auth.principal = u"zelqa/localhost";
  auth.credentials.identity.emplace(u"alice", u"EXAMPLE", u"Secret-1");
  auto b = testing::BindTo(server.port());
  b->SetAuthInfo(auth);
  b->SetCallTimeout(10000);
  auto stub = testing::Pattern(12000, 4);
  EXPECT_EQ(b->Call(testing::kEchoInterface, testing::kOpEcho, stub).stub, stub);
}

}  // namespace
}  // namespace rpcrt
