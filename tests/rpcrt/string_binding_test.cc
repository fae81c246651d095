#include "rpcrt/client/string_binding.h"

#include <gtest/gtest.h>

#include "rpcrt/status.h"

namespace rpcrt::client {
namespace {

Status ParseStatus(std::string_view text) {
  try {
    StringBinding::Parse(text);
    return kOk;
  } catch (const RpcError& e) {
    return e.status();
  }
}

TEST(StringBinding, ParsesHostNamesAndLiteralsOfBothFamilies) {
  auto b = StringBinding::Parse("ncacn_ip_tcp:server.example[4711]");
  EXPECT_EQ(b.protseq, "ncacn_ip_tcp");
  EXPECT_EQ(b.network_address, "server.example");
  EXPECT_EQ(b.endpoint, "4711");

  b = StringBinding::Parse("ncacn_ip_tcp:10.1.2.3[135]");
  EXPECT_EQ(b.network_address, "10.1.2.3");

  // IPv6 literals keep their colons: only the first colon ends the protocol sequence.
  b = StringBinding::Parse("ncacn_ip_tcp:fe80::1:2[49152]");
  EXPECT_EQ(b.network_address, "fe80::1:2");
  EXPECT_EQ(b.endpoint, "49152");
  b = StringBinding::Parse("ncacn_ip_tcp:::1");
  EXPECT_EQ(b.network_address, "::1");
  EXPECT_TRUE(b.endpoint.empty());
}

TEST(StringBinding, EmptyAddressAndEndpointAreAllowed) {
  auto b = StringBinding::Parse("ncacn_ip_tcp:");
  EXPECT_TRUE(b.network_address.empty());
  EXPECT_TRUE(b.endpoint.empty());
  b = StringBinding::Parse("ncacn_ip_tcp:host[]");
  EXPECT_TRUE(b.endpoint.empty());
}

TEST(StringBinding, ObjectUuidAndOptions) {
  auto b = StringBinding::Parse(
      "d1c2c07a-d989-48cc-a423-b73ecd518d40@ncacn_ip_tcp:h[80,Security=Impersonation,x=1]");
  EXPECT_EQ(b.object_uuid, "d1c2c07a-d989-48cc-a423-b73ecd518d40");
  ASSERT_EQ(b.options.size(), 2u);
  EXPECT_EQ(b.options[0].first, "Security");
  EXPECT_EQ(b.options[0].second, "Impersonation");
  EXPECT_EQ(b.options[1].second, "1");
  b = StringBinding::Parse("ncacn_ip_tcp:h[,a=b]");
  EXPECT_TRUE(b.endpoint.empty());
  EXPECT_EQ(b.options.size(), 1u);
}

TEST(StringBinding, ComposeRoundTripsAndEscapesSpecials) {
  StringBinding b;
  b.protseq = "ncacn_ip_tcp";
  b.network_address = "host";
  EXPECT_EQ(b.Compose(), "ncacn_ip_tcp:host");
  b.endpoint = "135";
  EXPECT_EQ(b.Compose(), "ncacn_ip_tcp:host[135]");
  b.network_address = "::1";
  EXPECT_EQ(b.Compose(), "ncacn_ip_tcp:::1[135]");
  EXPECT_EQ(StringBinding::Parse(b.Compose()).network_address, "::1");
  b.options = {{"a", "x,y"}};
  auto back = StringBinding::Parse(b.Compose());
  ASSERT_EQ(back.options.size(), 1u);
  EXPECT_EQ(back.options[0].second, "x,y");
}

TEST(StringBinding, EachMalformedPartHasItsWindowsStatus) {
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp"), kInvalidStringBinding);          // no colon
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[135"), kInvalidStringBinding);    // unclosed
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[135]x"), kInvalidStringBinding);  // trailing
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[135,novalue]"), kInvalidStringBinding);
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h\\"), kInvalidStringBinding);  // dangling escape
  EXPECT_EQ(ParseStatus("ncacn_np:h[\\pipe\\x]"), kProtseqNotSupported);
  EXPECT_EQ(ParseStatus("ncalrpc:[x]"), kProtseqNotSupported);
  EXPECT_EQ(ParseStatus("nc-bad:h"), kInvalidRpcProtseq);
  EXPECT_EQ(ParseStatus(":h"), kInvalidRpcProtseq);
  EXPECT_EQ(ParseStatus("not-a-uuid@ncacn_ip_tcp:h"), kInvalidStringUuid);
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[http]"), kInvalidEndpointFormat);
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[0]"), kInvalidEndpointFormat);
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[65536]"), kInvalidEndpointFormat);
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[-1]"), kInvalidEndpointFormat);
  EXPECT_EQ(ParseStatus("ncacn_ip_tcp:h[65535]"), kOk);
}

TEST(StringBinding, TcpEndpointBounds) {
  EXPECT_EQ(ParseTcpEndpoint("1"), 1);
  EXPECT_EQ(ParseTcpEndpoint(" 135 "), 135);
  EXPECT_EQ(ParseTcpEndpoint("65535"), 65535);
  EXPECT_FALSE(ParseTcpEndpoint("65536"));
  EXPECT_FALSE(ParseTcpEndpoint("000001"));  // longer than any port
  EXPECT_FALSE(ParseTcpEndpoint(""));
  EXPECT_FALSE(ParseTcpEndpoint("12a"));
}

}  // namespace
}  // namespace rpcrt::client
