// Calls through the connection registry to a real server on loopback, sealed with NTLM.
#include <cstdio>
#include <fstream>
#include <thread>

#include "api/connection_registry.h"
#include "client_fixture.h"
#include "common/options.h"
#include "exc/exceptions.h"
#include "exc/rpc_exc.h"
#include "exc/string_conv.h"
#include "platform/registry.h"
#include "rpcrt/server/endpoint_mapper_server.h"

namespace zelqa::testing {
namespace {

using api::GetConnectionRegistry;

class CallTest : public ClientTest {
 protected:
  std::u16string Connect(const std::u16string& user = kUser,
                         const std::u16string& password = kPassword) {
    return GetConnectionRegistry().Connect(u"127.0.0.1", port(), user, password, kService);
  }
  std::u16string Call(const std::u16string& id, const std::u16string& r1,
                      const std::u16string& r2) {
    std::u16string answer = u"untouched";
    GetConnectionRegistry().Call(id, r1, r2, answer);
    return answer;
  }
};

TEST_F(CallTest, AnswersRoundTripWhateverTheirSize) {
  const std::u16string id = Connect();
  EXPECT_EQ(Call(id, u"", u""), u"");
  EXPECT_EQ(Call(id, u"Hello, ", u"world"), u"Hello, world");
  // Characters outside the BMP travel as surrogate pairs, untouched.
  EXPECT_EQ(Call(id, u"\U0001F600", u"\u00e9\U00010348"), u"\U0001F600\u00e9\U00010348");
  const std::u16string big(1 << 20, u'x');
  EXPECT_EQ(Call(id, big, u"!"), big + u"!");
  GetConnectionRegistry().Disconnect(id);
}

TEST_F(CallTest, IdentifiersAreFreshBracedLowerCaseGuids) {
  const std::u16string a = Connect();
  const std::u16string b = Connect();
  EXPECT_NE(a, b);
  for (const auto& id : {a, b}) {
    ASSERT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), u'{');
    EXPECT_EQ(id.back(), u'}');
    for (char16_t c : id) EXPECT_FALSE(c >= u'A' && c <= u'Z');
  }
  GetConnectionRegistry().Disconnect(a);
  EXPECT_EQ(Call(b, u"still ", u"here"), u"still here");
  GetConnectionRegistry().Disconnect(b);
}

TEST_F(CallTest, UnknownIdentifiersAreExactMatchesOnly) {
  const std::u16string id = Connect();
  std::u16string upper = id;
  for (auto& c : upper) c = (c >= u'a' && c <= u'f') ? c - 32 : c;
  const std::u16string bare = id.substr(1, 36);
  for (const auto& other : {upper, bare}) {
    try {
      Call(other, u"a", u"b");
      FAIL() << "found a connection under a different text";
    } catch (const exc::runtime_exc_t& e) {
      EXPECT_EQ(std::string(e.what()),
                "Failed to call RPC method. No such connection: " + exc::wide_to_utf8(other));
    }
    GetConnectionRegistry().Disconnect(other);  // ignored
  }
  EXPECT_EQ(Call(id, u"a", u"b"), u"ab");
  GetConnectionRegistry().Disconnect(id);
  EXPECT_THROW(Call(id, u"a", u"b"), exc::runtime_exc_t);
}

TEST_F(CallTest, ServerReportedFailureIsTheServersTextAndNotRetried) {
  int calls = 0;
  SetHandler([&](const std::u16string&, const std::u16string& r2, const auto&) {
    ++calls;
    return server::DoRpcOutcome{false, {}, r2};
  });
  const std::u16string id = Connect();
  try {
    Call(id, u"x", u"disk full \u00e9");
    FAIL();
  } catch (const exc::runtime_exc_t& e) {
    EXPECT_EQ(std::string(e.what()), "disk full \xc3\xa9");
  }
  EXPECT_EQ(calls, 1);
  // The connection stays usable after a failed call.
  SetHandler(server::EchoHandler);
  EXPECT_EQ(Call(id, u"a", u"b"), u"ab");
  GetConnectionRegistry().Disconnect(id);
}

TEST_F(CallTest, FailedConnectRegistersNothing) {
  const size_t before = GetConnectionRegistry().size();
  // Port 0 asks the endpoint mapper, and there is none on this host's port 135 for us.
  try {
    GetConnectionRegistry().Connect(u"127.0.0.1", 0, kUser, kPassword, kService);
    FAIL();
  } catch (const exc::win_sys_exc_t& e) {
    EXPECT_NE(std::string(e.what()).find("Connect failed (RpcEpResolveBinding)"),
              std::string::npos);
  }
  EXPECT_EQ(GetConnectionRegistry().size(), before);
  // Not verbose: one Info record on the rpc channel, the connect text and " Failed.".
  EXPECT_EQ(CountLogged("Connecting to RPC. Spec: Host: 127.0.0.1, ServiceName: zelqa, Port: 0, "
                        "CurrentUser: 0, SecureChannel: true, UniqueBinding: true, "
                        "RequestTimeout: 3600 Failed."),
            1u);
}

TEST_F(CallTest, WrongPasswordIsAccessDeniedWithoutRetry) {
  const std::u16string id = Connect(kUser, u"not the password");
  try {
    Call(id, u"a", u"b");
    FAIL();
  } catch (const exc::rpc_exc_t& e) {
    EXPECT_EQ(e.error_code(), 5u);
    EXPECT_EQ(std::string(e.what()),
              "Access is denied.\r\n\nRPC function call failed. Function name: [DoRpc]. "
              "Target machine: [127.0.0.1:" +
                  std::to_string(port()) + "].");
  }
  EXPECT_TRUE(clock().sleeps().empty());
  EXPECT_FALSE(Logged("Retrying RPC call"));
  GetConnectionRegistry().Disconnect(id);
}

TEST_F(CallTest, UnknownAccountIsAccessDenied) {
  const std::u16string id = Connect(u"ZELQA\\mallory", kPassword);
  try {
    Call(id, u"a", u"b");
    FAIL();
  } catch (const exc::rpc_exc_t& e) {
    EXPECT_EQ(e.error_code(), 5u);
  }
  GetConnectionRegistry().Disconnect(id);
}

TEST_F(CallTest, DisconnectDuringACallLetsTheCallFinish) {
  const std::u16string id = Connect();
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  SetHandler([&](const std::u16string& r1, const std::u16string& r2, const auto&) {
    entered = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return server::DoRpcOutcome{true, r1 + r2, {}};
  });
  std::u16string answer;
  std::thread caller([&] { GetConnectionRegistry().Call(id, u"in ", u"flight", answer); });
  while (!entered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  {
    std::lock_guard guard(api::RegistryLock());
    GetConnectionRegistry().Disconnect(id);
  }
  release = true;
  caller.join();
  EXPECT_EQ(answer, u"in flight");
  EXPECT_THROW(Call(id, u"a", u"b"), exc::runtime_exc_t);
}

TEST_F(CallTest, ManyThreadsOnOneAndOnManyConnections) {
  const std::u16string shared = Connect();
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string own = Connect();
      for (int i = 0; i < 20; ++i) {
        const std::u16string r1 = u"t" + std::u16string(1, u'0' + t);
        const std::u16string r2 = u"#" + std::u16string(1, u'0' + i % 10);
        if (Call(i % 2 ? own : shared, r1, r2) != r1 + r2) ++failures;
      }
      std::lock_guard guard(api::RegistryLock());
      GetConnectionRegistry().Disconnect(own);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  GetConnectionRegistry().Disconnect(shared);
}

}  // namespace
}  // namespace zelqa::testing

namespace zelqa::testing {
namespace {

// Port 0: the endpoint comes from the host's endpoint mapper, whose port the registry store
// moves away from 135 as an administrator could.
TEST_F(ClientTest, PortZeroAsksTheEndpointMapper) {
  rpcrt::server::ServerOptions options;
  options.address = "127.0.0.1";
  rpcrt::server::EndpointMapperServer epm(options);
  epm.Register(server::kDoRpcInterface, port(), "Zelqa DoRpc");
  epm.Start();
  char value[16];
  std::snprintf(value, sizeof value, "%08x", epm.port());
  UseProductValues("\"RpcEndpointMapperPort\"=dword:" + std::string(value) + "\r\n");

  auto& registry = api::GetConnectionRegistry();
  const std::u16string id = registry.Connect(u"127.0.0.1", 0, kUser, kPassword, kService);
  std::u16string answer;
  registry.Call(id, u"found ", u"by the mapper", answer);
  EXPECT_EQ(answer, u"found by the mapper");
  registry.Disconnect(id);

  // An interface the mapper does not know: the connect fails with its status.
  epm.Unregister(server::kDoRpcInterface);
  try {
    registry.Connect(u"127.0.0.1", 0, kUser, kPassword, kService);
    FAIL();
  } catch (const exc::win_sys_exc_t& e) {
    EXPECT_EQ(e.error_code(), 1753u);
    EXPECT_NE(std::string(e.what()).find("Connect failed (RpcEpResolveBinding)"),
              std::string::npos);
  }
  epm.Stop();
}

// Verbose: the connect trace in full and the principal name; quiet: nothing on success.
TEST_F(CallTest, VerboseLogTracesTheConnect) {
  const std::string settings =
      "Connecting to RPC. Spec: Host: 127.0.0.1, ServiceName: zelqa, Port: " +
      std::to_string(port()) +
      ", CurrentUser: 0, SecureChannel: true, UniqueBinding: true, "
      "RequestTimeout: 3600";
  GetConnectionRegistry().Disconnect(Connect());
  EXPECT_EQ(CountLogged("Connecting to RPC"), 0u);
  EXPECT_EQ(CountLogged("Using SPN"), 0u);

  UseProductValues("\"RpcVerboseLog\"=dword:00000001\r\n");
  GetConnectionRegistry().Disconnect(Connect());
  EXPECT_EQ(CountLogged("Using SPN: zelqa/127.0.0.1"), 1u);
  EXPECT_EQ(CountLogged(settings + " ok."), 1u);
  EXPECT_EQ(CountLogged(" Failed."), 0u);
}

}  // namespace
}  // namespace zelqa::testing
