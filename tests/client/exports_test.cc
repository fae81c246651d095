// The four entry points as a host calls them: HRESULTs, returned blocks, and out-parameters
// written only on their own path.
#include <cstring>

#include "client_fixture.h"
#include "exc/string_conv.h"
#include "platform/guid.h"
#include "zelqa/zelqa_rpc_client.h"

namespace zelqa::testing {
namespace {

class ExportsTest : public ClientTest {
 protected:
  static std::u16string Text(const zelqa_char_t* block) { return block ? block : u""; }
};

TEST_F(ExportsTest, ConnectCallDisconnectWriteOnlyTheirSuccessOutputs) {
  zelqa_char_t* const untouched = reinterpret_cast<zelqa_char_t*>(0x1);
  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = untouched;
  ASSERT_EQ(RpcConnect(u"127.0.0.1", port(), kUser, kPassword, kService, &id, &error), ZELQA_S_OK);
  EXPECT_EQ(error, untouched);
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(std::char_traits<char16_t>::length(id), 38u);

  // An empty answer is a block holding only the terminator, not a null pointer.
  zelqa_char_t* answer = nullptr;
  ASSERT_EQ(DoRpcCall(id, u"", u"", &answer, &error), ZELQA_S_OK);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer[0], u'\0');
  LibStrFree(answer);
  EXPECT_EQ(error, untouched);

  EXPECT_EQ(RpcDisconnect(id, &error), ZELQA_S_OK);
  EXPECT_EQ(RpcDisconnect(id, &error), ZELQA_S_OK);  // twice is fine
  EXPECT_EQ(error, untouched);

  answer = untouched;
  error = nullptr;
  EXPECT_EQ(DoRpcCall(id, u"a", u"b", &answer, &error), ZELQA_E_FAIL);
  EXPECT_EQ(answer, untouched);
  EXPECT_EQ(Text(error), u"Failed to call RPC method. No such connection: " + Text(id));
  LibStrFree(error);
  LibStrFree(id);
  LibStrFree(nullptr);
}

TEST_F(ExportsTest, FailedConnectLeavesTheIdentifierAlone) {
  zelqa_char_t* const untouched = reinterpret_cast<zelqa_char_t*>(0x1);
  zelqa_char_t* id = untouched;
  zelqa_char_t* error = nullptr;
  // An empty user name connects as the current user and never uses the password.
  EXPECT_EQ(RpcConnect(u"127.0.0.1", 0, u"", u"ignored", kService, &id, &error), ZELQA_E_FAIL);
  EXPECT_EQ(id, untouched);
  const std::u16string text = Text(error);
  LibStrFree(error);
  EXPECT_NE(text.find(u"Connect failed (RpcEpResolveBinding)"), std::u16string::npos);
  EXPECT_TRUE(Logged("CurrentUser: 1, SecureChannel: true"));
  EXPECT_FALSE(Logged("ignored"));
}

TEST_F(ExportsTest, ServerFailureTextReachesTheCaller) {
  SetHandler([](const std::u16string&, const std::u16string&, const auto&) {
    return server::DoRpcOutcome{false, {}, u"quota exceeded"};
  });
  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = nullptr;
  ASSERT_EQ(RpcConnect(u"127.0.0.1", port(), kUser, kPassword, kService, &id, &error), ZELQA_S_OK);
  zelqa_char_t* answer = nullptr;
  EXPECT_EQ(DoRpcCall(id, u"a", u"b", &answer, &error), ZELQA_E_FAIL);
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(Text(error), u"quota exceeded");
  LibStrFree(error);
  RpcDisconnect(id, &error);
  LibStrFree(id);
}

// Identifiers come from random GUIDs; a failing random source is retried a few times, then
// the connection just made is closed again and the caller gets the reason.
TEST_F(ExportsTest, IdentifierFailureFailsTheConnectAndKeepsNothing) {
  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = nullptr;
  platform::FailNextGuidsForTesting(3);
  ASSERT_EQ(RpcConnect(u"127.0.0.1", port(), kUser, kPassword, kService, &id, &error), ZELQA_S_OK);
  RpcDisconnect(id, &error);
  LibStrFree(id);

  zelqa_char_t* const untouched = reinterpret_cast<zelqa_char_t*>(0x1);
  id = untouched;
  platform::FailNextGuidsForTesting(4);
  EXPECT_EQ(RpcConnect(u"127.0.0.1", port(), kUser, kPassword, kService, &id, &error),
            ZELQA_E_FAIL);
  EXPECT_EQ(id, untouched);
  const std::string text = exc::wide_to_utf8(Text(error));
  EXPECT_NE(text.find("Failed to create a connection identifier"), std::string::npos) << text;
  EXPECT_NE(text.find("0x80004005"), std::string::npos) << text;
  LibStrFree(error);
  platform::FailNextGuidsForTesting(0);
}

}  // namespace
}  // namespace zelqa::testing
