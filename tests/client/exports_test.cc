// The connect entry point as a host calls it when no connection identifier can be made.
#include <cstring>

#include "client_fixture.h"
#include "exc/string_conv.h"
#include "platform/guid.h"
#include "zelqa/zelqa_rpc_client.h"

namespace zelqa::testing {
namespace {

using ExportsTest = ClientTest;

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
  const std::string text = exc::wide_to_utf8(error ? error : u"");
  EXPECT_NE(text.find("Failed to create a connection identifier"), std::string::npos) << text;
  EXPECT_NE(text.find("0x80004005"), std::string::npos) << text;
  LibStrFree(error);
  platform::FailNextGuidsForTesting(0);
}

}  // namespace
}  // namespace zelqa::testing
