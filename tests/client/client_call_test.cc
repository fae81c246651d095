// Calls through the connection registry to a real server on loopback, sealed with NTLM.
#include <gmock/gmock.h>

#include <cstdio>
#include <thread>

#include "api/connection_registry.h"
#include "client_fixture.h"
#include "exc/exceptions.h"
#include "rpcrt/server/endpoint_mapper_server.h"
#include "tests/exc/what_of.h"

namespace zelqa::testing {
namespace {

using api::GetConnectionRegistry;
using exctest::Caught;
using exctest::WhatOf;
using ::testing::HasSubstr;

class CallTest : public ClientTest {
 protected:
  std::u16string Connect(uint16_t to_port) {
    return GetConnectionRegistry().Connect(u"127.0.0.1", to_port, kUser, kPassword, kService);
  }
  std::u16string Call(const std::u16string& id, const std::u16string& r1,
                      const std::u16string& r2) {
    std::u16string answer = u"untouched";
    GetConnectionRegistry().Call(id, r1, r2, answer);
    return answer;
  }
};

TEST_F(CallTest, FailedConnectRegistersNothing) {
  const size_t before = GetConnectionRegistry().size();
  // Port 0 asks the endpoint mapper, and there is none on this host's port 135 for us.
  EXPECT_THAT(WhatOf<exc::win_sys_exc_t>([&] { Connect(0); }),
              HasSubstr("Connect failed (RpcEpResolveBinding)"));
  EXPECT_EQ(GetConnectionRegistry().size(), before);
  // Not verbose: one Info record on the rpc channel, the connect text and " Failed.".
  EXPECT_EQ(CountLogged("Connecting to RPC. Spec: Host: 127.0.0.1, ServiceName: zelqa, Port: 0, "
                        "CurrentUser: 0, SecureChannel: true, UniqueBinding: true, "
                        "RequestTimeout: 3600 Failed."),
            1u);
}

TEST_F(CallTest, DisconnectDuringACallLetsTheCallFinish) {
  const std::u16string id = Connect(port());
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
  const std::u16string shared = Connect(port());
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string own = Connect(port());
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

// Port 0: the endpoint comes from the host's endpoint mapper, whose port the registry store
// moves away from 135 as an administrator could.
TEST_F(CallTest, PortZeroAsksTheEndpointMapper) {
  rpcrt::server::ServerOptions options;
  options.address = "127.0.0.1";
  rpcrt::server::EndpointMapperServer epm(options);
  epm.Register(server::kDoRpcInterface, port(), "Zelqa DoRpc");
  epm.Start();
  char value[16];
  std::snprintf(value, sizeof value, "%08x", epm.port());
  UseProductValues("\"RpcEndpointMapperPort\"=dword:" + std::string(value) + "\r\n");

  const std::u16string id = Connect(0);
  EXPECT_EQ(Call(id, u"found ", u"by the mapper"), u"found by the mapper");
  GetConnectionRegistry().Disconnect(id);

  // An interface the mapper does not know: the connect fails with its status.
  epm.Unregister(server::kDoRpcInterface);
  const auto e = Caught<exc::win_sys_exc_t>([&] { Connect(0); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->error_code(), 1753u);
  EXPECT_THAT(e->what(), HasSubstr("Connect failed (RpcEpResolveBinding)"));
  epm.Stop();
}

}  // namespace
}  // namespace zelqa::testing
