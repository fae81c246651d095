// The retry loop when the server is gone and the reconnect cannot even find it.
#include <gmock/gmock.h>

#include "client_fixture.h"
#include "exc/exceptions.h"
#include "rpc/do_rpc_method.h"
#include "rpc/proxy_rpc_invoker.h"
#include "tests/exc/what_of.h"

namespace zelqa::testing {
namespace {

using rpc::CDoRpcMethod;
using rpc::CProxyRpcInvoker;

using RetryTest = ClientTest;

TEST_F(RetryTest, ReconnectThatFailsLeavesNoBindingForTheNextAttempt) {
  auto invoker = std::make_unique<CProxyRpcInvoker>();
  invoker->settings().Host = u"127.0.0.1";
  invoker->settings().Port = port();
  invoker->settings().ServiceName = kService;
  invoker->LogonUser(kUser, kPassword);
  invoker->Connect();
  // Port 0: the reconnect asks an endpoint mapper that is not there.
  CDoRpcMethod method(u"a", u"b");
  invoker->Invoke(method);
  invoker->settings().Port = 0;
  server().Stop();
  EXPECT_THAT(exctest::WhatOf<exc::CZelqaInternalError>([&] { invoker->Invoke(method); }),
              ::testing::StartsWith("RPC connection was not initialized\n"));
  EXPECT_TRUE(Logged("RPC client failed to reestablish connection"));
  EXPECT_FALSE(invoker->connected());
}

}  // namespace
}  // namespace zelqa::testing
