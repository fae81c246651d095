// A host calling through the exports meets the hostile server: the failed call comes back
// as E_FAIL with a text that names the call and the status, and the next call, on a new
// connection, succeeds.
#include <gtest/gtest.h>

#include <string>

#include "exc/string_conv.h"
#include "tests/hostile/hostile_server.h"
#include "zelqa/zelqa_rpc_client.h"

namespace rpcrt::hostile {
namespace {

// DoRpc's reply: answer "ok", succeeded 1, no error message.
const std::vector<uint8_t> kOkReply = {
    0x00, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
    'o',  0x00, 'k',  0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// Each with the status's system text, which the error text holds before the call and target.
const ScriptCase<const char*> kCases[] = {
    {"BadSignature", ReplyMutated([](auto& b) { b.back() ^= 0x40; }),
     "A security package specific error occurred."},
    {"WrongCallId", ReplyAltered([](Pdu& p) { p.call_id ^= 0x100; }),
     "A remote procedure call (RPC) protocol error occurred."},
    {"UnprotectedFault", FaultWith(1783), "The stub received bad data."},
};

class HostileExports : public ::testing::TestWithParam<ScriptCase<const char*>> {};

TEST_P(HostileExports, ErrorTextComesBackAndTheNextCallReconnects) {
  HostileServer server(
      GetParam().script,
      {.ntlm_account = "ZELQA:alice:Pa55-w0rd!", .header_sign = true, .reply_stub = kOkReply});

  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = nullptr;
  ASSERT_EQ(RpcConnect(u"127.0.0.1", server.port(), u"ZELQA\\alice", u"Pa55-w0rd!", u"zelqa", &id,
                       &error),
            ZELQA_S_OK);

  zelqa_char_t* answer = nullptr;
  ASSERT_EQ(DoRpcCall(id, u"a", u"b", &answer, &error), ZELQA_E_FAIL);
  EXPECT_EQ(answer, nullptr);
  ASSERT_NE(error, nullptr);
  const std::string text = exc::wide_to_utf8(error);
  LibStrFree(error);
  EXPECT_NE(text.find("Function name: [DoRpc]. Target machine: [127.0.0.1:" +
                      std::to_string(server.port()) + "]"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(GetParam().expected), std::string::npos) << text;
  EXPECT_TRUE(server.WaitClosed(1));

  ASSERT_EQ(DoRpcCall(id, u"a", u"b", &answer, &error), ZELQA_S_OK);
  EXPECT_EQ(std::u16string(answer), u"ok");
  LibStrFree(answer);
  EXPECT_EQ(server.accepted(), 2);
  EXPECT_EQ(RpcDisconnect(id, &error), ZELQA_S_OK);
  LibStrFree(id);
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileExports, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rpcrt::hostile
