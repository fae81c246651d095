#include "rpcrt/client/string_binding.h"

#include <gtest/gtest.h>

#include "rpcrt/status.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::client {
namespace {

Status ParseStatus(std::string_view text) {
  return rpcrt::testing::StatusOf([&] { StringBinding::Parse(text); });
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

}  // namespace
}  // namespace rpcrt::client
