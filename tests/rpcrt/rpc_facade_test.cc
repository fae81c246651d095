// The Windows-named calls over the run time: their statuses and a call through them.
#include "platform/rpc_facade.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/server/endpoint_mapper_server.h"
#include "rpcrt/status.h"
#include "tests/rpcrt/test_server.h"
#include "tests/rpcrt_wire/test_util.h"

namespace {

RPC_CSTR C(const char* s) {
  return reinterpret_cast<RPC_CSTR>(const_cast<char*>(s));
}

std::string Compose(const char* uuid, const char* protseq, const char* addr, const char* ep,
                    const char* options = nullptr) {
  RPC_CSTR out = nullptr;
  EXPECT_EQ(RpcStringBindingComposeA(uuid ? C(uuid) : nullptr, protseq ? C(protseq) : nullptr,
                                     addr ? C(addr) : nullptr, ep ? C(ep) : nullptr,
                                     options ? C(options) : nullptr, &out),
            RPC_S_OK);
  std::string text(reinterpret_cast<char*>(out));
  EXPECT_EQ(RpcStringFreeA(&out), RPC_S_OK);
  EXPECT_EQ(out, nullptr);
  return text;
}

RPC_CLIENT_INTERFACE EchoSpec() {
  RPC_CLIENT_INTERFACE iface{};
  iface.Length = sizeof iface;
  const auto& id = rpcrt::testing::kEchoInterface;
  iface.InterfaceId.SyntaxGUID = {id.uuid.data1, id.uuid.data2, id.uuid.data3, {}};
  std::memcpy(iface.InterfaceId.SyntaxGUID.Data4, id.uuid.data4.data(), 8);
  iface.InterfaceId.SyntaxVersion = {id.version_major, id.version_minor};
  iface.TransferSyntax = {
      {0x8a885d04, 0x1ceb, 0x11c9, {0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}}, {2, 0}};
  return iface;
}

TEST(RpcFacade, ComposeWritesTheWindowsForm) {
  EXPECT_EQ(Compose(nullptr, "ncacn_ip_tcp", "host", "4711"), "ncacn_ip_tcp:host[4711]");
  EXPECT_EQ(Compose(nullptr, "ncacn_ip_tcp", "host", nullptr), "ncacn_ip_tcp:host");
  EXPECT_EQ(Compose(nullptr, "ncacn_ip_tcp", "::1", "135"), "ncacn_ip_tcp:::1[135]");
  EXPECT_EQ(Compose("d1c2c07a-d989-48cc-a423-b73ecd518d40", "ncacn_ip_tcp", "", "", "a=b"),
            "d1c2c07a-d989-48cc-a423-b73ecd518d40@ncacn_ip_tcp:[,a=b]");
  EXPECT_EQ(RpcStringBindingComposeA(nullptr, C("ncacn_ip_tcp"), C("h"), nullptr, nullptr, nullptr),
            RPC_S_INVALID_ARG);
  RPC_CSTR none = nullptr;
  EXPECT_EQ(RpcStringFreeA(&none), RPC_S_OK);
}

TEST(RpcFacade, BindingStatuses) {
  RPC_BINDING_HANDLE h = nullptr;
  EXPECT_EQ(RpcBindingFromStringBindingA(C("ncacn_ip_tcp"), &h), RPC_S_INVALID_STRING_BINDING);
  EXPECT_EQ(RpcBindingFromStringBindingA(C("ncacn_np:h[\\pipe\\p]"), &h),
            RPC_S_PROTSEQ_NOT_SUPPORTED);
  EXPECT_EQ(RpcBindingFromStringBindingA(C("ncacn_ip_tcp:h[x]"), &h),
            RPC_S_INVALID_ENDPOINT_FORMAT);
  EXPECT_EQ(RpcBindingFromStringBindingA(nullptr, &h), RPC_S_INVALID_STRING_BINDING);
  EXPECT_EQ(h, nullptr);

  ASSERT_EQ(RpcBindingFromStringBindingA(C("ncacn_ip_tcp:127.0.0.1[1]"), &h), RPC_S_OK);
  EXPECT_EQ(RpcMgmtSetComTimeout(h, RPC_C_BINDING_MIN_TIMEOUT), RPC_S_OK);
  EXPECT_EQ(RpcMgmtSetComTimeout(h, 11), RPC_S_INVALID_TIMEOUT);
  EXPECT_EQ(RpcBindingSetOption(h, RPC_C_OPT_CALL_TIMEOUT, 3600000), RPC_S_OK);
  EXPECT_EQ(RpcBindingSetOption(h, RPC_C_OPT_UNIQUE_BINDING, 1), RPC_S_OK);
  EXPECT_EQ(RpcBindingSetOption(h, RPC_C_OPT_DONT_LINGER, 1), RPC_S_OK);
  EXPECT_EQ(RpcBindingSetOption(h, 999, 1), RPC_S_INVALID_ARG);

  std::u16string spn = u"svc/host";
  auto* wspn = reinterpret_cast<RPC_WSTR>(spn.data());
  EXPECT_EQ(
      RpcBindingSetAuthInfoW(h, wspn, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, 77, nullptr, RPC_C_AUTHZ_NONE),
      RPC_S_UNKNOWN_AUTHN_SERVICE);
  EXPECT_EQ(RpcBindingSetAuthInfoW(h, wspn, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                   RPC_C_AUTHN_GSS_NEGOTIATE, nullptr, 1),
            RPC_S_UNKNOWN_AUTHZ_SERVICE);
  EXPECT_EQ(RpcBindingSetAuthInfoW(h, wspn, 7, RPC_C_AUTHN_GSS_NEGOTIATE, nullptr, 0),
            RPC_S_UNSUPPORTED_AUTHN_LEVEL);
  SEC_WINNT_AUTH_IDENTITY_W ansi{};
  ansi.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
  EXPECT_EQ(RpcBindingSetAuthInfoW(h, wspn, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                   RPC_C_AUTHN_GSS_NEGOTIATE, &ansi, RPC_C_AUTHZ_NONE),
            RPC_S_INVALID_AUTH_IDENTITY);
  std::u16string user = u"alice", domain = u"EXAMPLE", password = u"secret";
  SEC_WINNT_AUTH_IDENTITY_W id{reinterpret_cast<unsigned short*>(user.data()),
                               static_cast<ULONG>(user.size()),
                               reinterpret_cast<unsigned short*>(domain.data()),
                               static_cast<ULONG>(domain.size()),
                               reinterpret_cast<unsigned short*>(password.data()),
                               static_cast<ULONG>(password.size()),
                               SEC_WINNT_AUTH_IDENTITY_UNICODE};
  EXPECT_EQ(RpcBindingSetAuthInfoW(h, wspn, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                   RPC_C_AUTHN_GSS_NEGOTIATE, &id, RPC_C_AUTHZ_NONE),
            RPC_S_OK);

  EXPECT_EQ(RpcBindingFree(&h), RPC_S_OK);
  EXPECT_EQ(h, nullptr);
  // A freed (or never issued) handle is refused by every call, never dereferenced.
  RPC_BINDING_HANDLE stale = &spn;
  EXPECT_EQ(RpcBindingFree(&stale), RPC_S_INVALID_BINDING);
  EXPECT_EQ(RpcBindingSetOption(stale, RPC_C_OPT_CALL_TIMEOUT, 1), RPC_S_INVALID_BINDING);
  EXPECT_EQ(platform::SetEndpointMapperPort(stale, 1), RPC_S_INVALID_BINDING);
  EXPECT_EQ(RpcMgmtSetComTimeout(nullptr, 0), RPC_S_INVALID_BINDING);
  RPC_CLIENT_INTERFACE iface = EchoSpec();
  EXPECT_EQ(RpcEpResolveBinding(stale, &iface), RPC_S_INVALID_BINDING);
  EXPECT_EQ(rpcrt::testing::StatusOf([&] { RpcSendReceive(stale, &iface, 0, {}); }),
            static_cast<rpcrt::Status>(RPC_S_INVALID_BINDING));
}

TEST(RpcFacade, CallsThroughResolvedBinding) {
  rpcrt::server::EndpointMapperServer mapper(rpcrt::server::ServerOptions{});
  mapper.Start();
  auto echo = rpcrt::testing::StartEchoServer();
  RPC_CLIENT_INTERFACE iface = EchoSpec();

  RPC_BINDING_HANDLE h = nullptr;
  ASSERT_EQ(RpcBindingFromStringBindingA(C("ncacn_ip_tcp:127.0.0.1"), &h), RPC_S_OK);
  ASSERT_EQ(platform::SetEndpointMapperPort(h, mapper.port()), RPC_S_OK);
  EXPECT_EQ(RpcEpResolveBinding(h, &iface), EPT_S_NOT_REGISTERED);
  mapper.Register(rpcrt::testing::kEchoInterface, echo->port());
  EXPECT_EQ(RpcEpResolveBinding(h, &iface), RPC_S_OK);
  EXPECT_EQ(RpcBindingSetOption(h, RPC_C_OPT_CALL_TIMEOUT, 5000), RPC_S_OK);

  std::vector<uint8_t> request{1, 2, 3, 4, 5};
  rpcrt::client::Reply reply = RpcSendReceive(h, &iface, rpcrt::testing::kOpEcho, request);
  EXPECT_EQ(reply.stub, request);
  EXPECT_EQ(reply.drep, rpcrt::kLocalDataRep);
  EXPECT_EQ(rpcrt::testing::StatusOf([&] { RpcSendReceive(h, &iface, 42, request); }),
            static_cast<rpcrt::Status>(RPC_S_PROCNUM_OUT_OF_RANGE));
  EXPECT_EQ(RpcBindingFree(&h), RPC_S_OK);
}

}  // namespace
