// Calls through the connection registry sealed with Kerberos inside Negotiate, against a
// throw-away KDC: explicit credentials, the current user's ticket cache, a wrong password.
// The KDC comes up once per test program through the fixture it links.
#include <gtest/gtest.h>

#include "api/connection_registry.h"
#include "exc/rpc_exc.h"
#include "kdc_fixture.h"
#include "rpcrt/server/server.h"
#include "server/do_rpc_service.h"

namespace zelqa::testing {
namespace {

class KerberosCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rpcrt::server::ServerOptions options;
    options.address = "127.0.0.1";
    rpcrt::security::ServerCredentials credentials;
    // No NTLM accounts: a call can only get through with Kerberos.
    credentials.keytab = KdcEnvironment::kdc().keytab();
    options.credentials = credentials;
    server_ = std::make_unique<rpcrt::server::Server>(options);
    server::RegisterDoRpc(
        *server_,
        [this](const std::u16string& r1, const std::u16string& r2, const auto& call) {
          peer_ = call.peer_name;
          return server::DoRpcOutcome{true, r1 + r2, {}};
        },
        /*require_privacy=*/true);
    server_->Start();
  }
  void TearDown() override {
    server_->Stop();
    KdcEnvironment::kdc().Kdestroy();
  }

  std::u16string Call(const std::u16string& user, const std::u16string& password) {
    auto& registry = api::GetConnectionRegistry();
    // The principal is zelqa/localhost, which the KDC's keytab holds.
    const std::u16string id =
        registry.Connect(u"localhost", server_->port(), user, password, u"zelqa");
    std::u16string answer;
    try {
      registry.Call(id, u"sealed ", u"with Kerberos", answer);
    } catch (...) {
      registry.Disconnect(id);
      throw;
    }
    registry.Disconnect(id);
    return answer;
  }

  static std::u16string Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

  std::unique_ptr<rpcrt::server::Server> server_;
  std::string peer_;
};

TEST_F(KerberosCallTest, ExplicitCredentials) {
  const std::u16string password = Wide(KdcEnvironment::kdc().Password("alice"));
  EXPECT_EQ(Call(u"alice@ZELQA.TEST", password), u"sealed with Kerberos");
  EXPECT_NE(peer_.find("alice"), std::string::npos) << peer_;
}

TEST_F(KerberosCallTest, CurrentUserFromTheTicketCache) {
  KdcEnvironment::kdc().Kinit("bob");
  EXPECT_EQ(Call(u"", u""), u"sealed with Kerberos");
  EXPECT_NE(peer_.find("bob"), std::string::npos) << peer_;
}

TEST_F(KerberosCallTest, WrongPasswordFailsTheCall) {
  EXPECT_THROW(Call(u"alice@ZELQA.TEST", u"not alice's password"), exc::rpc_exc_t);
  EXPECT_TRUE(peer_.empty());
}

}  // namespace
}  // namespace zelqa::testing
