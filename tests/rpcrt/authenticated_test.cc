// An NTLM-signed call over loopback: every request and response fragment carries its signature.
#include <gtest/gtest.h>

#include "rpcrt/client/binding.h"
#include "tests/rpcrt/test_server.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using security::AuthnLevel;
using security::AuthnService;

constexpr char kAccounts[] = "EXAMPLE:alice:Secret-1\n";

client::AuthInfo Ntlm(AuthnLevel level) {
  client::AuthInfo auth;
  auth.service = AuthnService::kWinNt;
  auth.level = level;
  auth.principal = u"zelqa/localhost";
  auth.credentials.identity.emplace(u"alice", u"EXAMPLE", u"Secret-1");
  return auth;
}

class Authenticated : public ::testing::Test {
 protected:
  void SetUp() override {
    server::ServerOptions options;
    options.credentials = security::ServerCredentials{accounts_.path(), "", ""};
    server_ = std::make_unique<server::Server>(options);
    server_->RegisterInterface(
        testing::kEchoInterface, testing::kEchoOpCount,
        [](const server::CallContext& call) {
          return std::vector<uint8_t>(call.stub.begin(), call.stub.end());
        },
        AuthnLevel::kPktIntegrity);
    server_->Start();
  }

  std::unique_ptr<client::Binding> Bind(const client::AuthInfo& auth) {
    auto b = testing::BindTo(server_->port());
    b->SetAuthInfo(auth);
    b->SetCallTimeout(10000);
    return b;
  }

  testing::TempFile accounts_{kAccounts};
  std::unique_ptr<server::Server> server_;
};

TEST_F(Authenticated, SignedCallsAtIntegrity) {
  auto b = Bind(Ntlm(AuthnLevel::kPktIntegrity));
  auto stub = testing::Pattern(12000, 4);
  EXPECT_EQ(b->Call(testing::kEchoInterface, testing::kOpEcho, stub).stub, stub);
}

}  // namespace
}  // namespace rpcrt
