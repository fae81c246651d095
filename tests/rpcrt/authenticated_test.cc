// Authenticated calls: NTLM through the bind, alter_context and auth3 legs, then every
// request and response sealed or signed per fragment, over loopback.
#include <gtest/gtest.h>

#include <mutex>
#include <utility>

#include "rpcrt/client/binding.h"
#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/server/endpoint_mapper_server.h"
#include "rpcrt/status.h"
#include "tests/rpcrt/test_server.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using security::AuthnLevel;
using security::AuthnService;

constexpr char kAccounts[] = "EXAMPLE:alice:Secret-1\nEXAMPLE:bob:other\n";

client::AuthInfo Ntlm(AuthnLevel level, std::u16string password = u"Secret-1",
                      AuthnService service = AuthnService::kWinNt) {
  client::AuthInfo auth;
  auth.service = service;
  auth.level = level;
  auth.principal = u"zelqa/localhost";
  auth.credentials.identity.emplace(u"alice", u"EXAMPLE", std::move(password));
  return auth;
}

class Authenticated : public ::testing::Test {
 protected:
  void SetUp() override {
    server::ServerOptions options;
    options.credentials = security::ServerCredentials{accounts_.path(), "", ""};
    options.on_rejected = [this](const server::Rejection& r) {
      std::lock_guard lock(rejections_mutex_);
      rejections_.push_back(r);
    };
    server_ = std::make_unique<server::Server>(options);
    server_->RegisterInterface(
        testing::kEchoInterface, testing::kEchoOpCount,
        [](const server::CallContext& call) {
          if (call.opnum == testing::kOpPeerName)
            return std::vector<uint8_t>(call.peer_name.begin(), call.peer_name.end());
          return std::vector<uint8_t>(call.stub.begin(), call.stub.end());
        },
        AuthnLevel::kPktIntegrity);
    server_->Start();
  }

  std::unique_ptr<client::Binding> Bind(const client::AuthInfo& auth) {
    auto b = std::make_unique<client::Binding>(client::StringBinding::Parse(
        "ncacn_ip_tcp:127.0.0.1[" + std::to_string(server_->port()) + "]"));
    b->SetAuthInfo(auth);
    b->SetCallTimeout(10000);
    return b;
  }

  Status StatusOf(client::Binding& b, uint16_t opnum = testing::kOpEcho) {
    try {
      b.Call(testing::kEchoInterface, opnum, testing::Pattern(100));
      return kOk;
    } catch (const RpcError& e) {
      return e.status();
    }
  }

  std::vector<server::Rejection> TakeRejections() {
    std::lock_guard lock(rejections_mutex_);
    return std::exchange(rejections_, {});
  }

  testing::TempFile accounts_{kAccounts};
  std::mutex rejections_mutex_;
  std::vector<server::Rejection> rejections_;
  std::unique_ptr<server::Server> server_;
};

TEST_F(Authenticated, SealedCallsOfEverySize) {
  auto b = Bind(Ntlm(AuthnLevel::kPktPrivacy));
  // Around the sealed fragment's capacity (a multiple of 16 below 5840 less headers).
  for (size_t size : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{5760}, size_t{5776},
                      size_t{5792}, size_t{40000}}) {
    auto stub = testing::Pattern(size, static_cast<uint8_t>(size));
    EXPECT_EQ(b->Call(testing::kEchoInterface, testing::kOpEcho, stub).stub, stub) << size;
  }
  auto name = b->Call(testing::kEchoInterface, testing::kOpPeerName, {}).stub;
  EXPECT_EQ(std::string(name.begin(), name.end()), "EXAMPLE\\alice");
  EXPECT_EQ(server_->accepted_connections(), 1u);
}

TEST_F(Authenticated, NegotiateCarriesNtlmThroughAlterContext) {
  // SPNEGO without a KDC falls back to NTLM and needs the alter_context leg for its
  // mechListMIC before the first sealed request.
  auto b = Bind(Ntlm(AuthnLevel::kPktPrivacy, u"Secret-1", AuthnService::kGssNegotiate));
  auto stub = testing::Pattern(20000, 5);
  EXPECT_EQ(b->Call(testing::kEchoInterface, testing::kOpEcho, stub).stub, stub);
  auto name = b->Call(testing::kEchoInterface, testing::kOpPeerName, {}).stub;
  EXPECT_EQ(std::string(name.begin(), name.end()), "EXAMPLE\\alice");
  auto wrong = Bind(Ntlm(AuthnLevel::kPktPrivacy, u"nope", AuthnService::kGssNegotiate));
  EXPECT_EQ(StatusOf(*wrong), kErrorAccessDenied);
}

TEST_F(Authenticated, SixteenMebibytesSealed) {
  auto b = Bind(Ntlm(AuthnLevel::kPktPrivacy));
  auto stub = testing::Pattern(16u << 20, 9);
  EXPECT_TRUE(b->Call(testing::kEchoInterface, testing::kOpEcho, stub).stub == stub);
}

TEST_F(Authenticated, SignedCallsAtIntegrity) {
  auto b = Bind(Ntlm(AuthnLevel::kPktIntegrity));
  auto stub = testing::Pattern(12000, 4);
  EXPECT_EQ(b->Call(testing::kEchoInterface, testing::kOpEcho, stub).stub, stub);
}

TEST_F(Authenticated, RejectionsAreAccessDeniedAndReportedWithThePeerAndTheReason) {
  // No authentication at all is below what the interface demands too.
  EXPECT_EQ(StatusOf(*Bind({})), kErrorAccessDenied);
  TakeRejections();
  const struct {
    client::AuthInfo auth;
    SyntaxId iface;
    const char* what;
    const char* reason;
  } rows[] = {
      {Ntlm(AuthnLevel::kPktPrivacy, u"wrong"), testing::kEchoInterface, "authentication failed",
       "wrong password"},
      {Ntlm(AuthnLevel::kPktPrivacy, u"wrong", AuthnService::kGssNegotiate),
       testing::kEchoInterface, "authentication failed", "wrong password"},
      {Ntlm(AuthnLevel::kConnect), testing::kEchoInterface, "request refused",
       "authentication level 2 below 5"},
      {Ntlm(AuthnLevel::kPktPrivacy), testing::kOtherInterface, "presentation contexts refused",
       " v2.1 is not served here"},
  };
  for (const auto& row : rows) {
    auto b = Bind(row.auth);
    try {
      b->Call(row.iface, testing::kOpEcho, {});
      ADD_FAILURE() << row.what;
    } catch (const RpcError& e) {
      if (row.iface == testing::kEchoInterface) {
        EXPECT_EQ(e.status(), kErrorAccessDenied);
      }
    }
    const auto rejections = TakeRejections();
    ASSERT_FALSE(rejections.empty()) << row.what;
    EXPECT_EQ(rejections[0].what, row.what);
    EXPECT_NE(rejections[0].reason.find(row.reason), std::string::npos) << rejections[0].reason;
    EXPECT_EQ(rejections[0].client_address.rfind("127.0.0.1:", 0), 0u)
        << rejections[0].client_address;
  }
  // What succeeds is not reported.
  EXPECT_EQ(StatusOf(*Bind(Ntlm(AuthnLevel::kPktPrivacy))), kOk);
  EXPECT_TRUE(TakeRejections().empty());
}

TEST_F(Authenticated, ForgedSignatureFailsTheCallAndDropsTheConnection) {
  auto b = Bind(Ntlm(AuthnLevel::kPktPrivacy));
  ASSERT_EQ(StatusOf(*b), kOk);
  server_->FaultsForTesting().corrupt_signature = true;
  EXPECT_EQ(StatusOf(*b), kSecPkgError);
  EXPECT_EQ(b->IdleConnectionsForTesting(), 0u);
  server_->FaultsForTesting().corrupt_signature = false;
  EXPECT_EQ(StatusOf(*b), kOk);
  EXPECT_EQ(server_->accepted_connections(), 2u);
}

TEST_F(Authenticated, UnprotectedReplyIsRefused) {
  auto b = Bind(Ntlm(AuthnLevel::kPktPrivacy));
  server_->FaultsForTesting().send_unprotected = true;
  EXPECT_EQ(StatusOf(*b), kErrorAccessDenied);
  EXPECT_EQ(b->IdleConnectionsForTesting(), 0u);
}

TEST(AuthenticatedMisc, ServerWithoutCredentialsRefusesTheBind) {
  auto server = testing::StartEchoServer();
  client::Binding b(client::StringBinding::Parse("ncacn_ip_tcp:127.0.0.1[" +
                                                 std::to_string(server->port()) + "]"));
  b.SetAuthInfo(Ntlm(AuthnLevel::kPktPrivacy));
  EXPECT_EQ(testing::StatusOf([&] { b.Call(testing::kEchoInterface, testing::kOpEcho, {}); }),
            kErrorAccessDenied);
}

TEST(AuthenticatedMisc, EndpointLookupSealed) {
  testing::TempFile accounts(kAccounts);
  server::ServerOptions options;
  options.credentials = security::ServerCredentials{accounts.path(), "", ""};
  server::EndpointMapperServer mapper(options);
  mapper.Register(testing::kEchoInterface, 4242, "echo");
  mapper.Start();
  auto entries = client::EptLookup("127.0.0.1", mapper.port(), Ntlm(AuthnLevel::kPktPrivacy));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].port, 4242);
  EXPECT_EQ(entries[0].annotation, "echo");
  EXPECT_THROW(client::EptLookup("127.0.0.1", mapper.port(), Ntlm(AuthnLevel::kPktPrivacy, u"bad")),
               RpcError);
}

}  // namespace
}  // namespace rpcrt
