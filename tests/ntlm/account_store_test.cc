// The DOMAIN:user:password account file and the case-blind matching of its names.
#include <gtest/gtest.h>

#include "rpcrt/security/ntlm/text.h"
#include "rpcrt/server/security/ntlm/account_store.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using rpcrt::testing::StatusOf;

TEST(NtlmAccountStore, MalformedLinesNameTheLineNotTheSecret) {
  for (const char* text : {"CORP:alice:ok\nno-colons-secret\n", "CORP:alice:ok\nCORP:secret\n",
                           "CORP:alice:ok\nCORP::secret\n"}) {
    std::string what;
    EXPECT_EQ(StatusOf([&] { AccountStore::Parse(text, "accounts.txt"); }, &what), kSecPkgError);
    EXPECT_NE(what.find("accounts.txt line 2"), std::string::npos) << what;
    EXPECT_EQ(what.find("secret"), std::string::npos) << what;
  }
}

TEST(NtlmText, Case) {
  EXPECT_EQ(ToUpper(u"straße élan ωя łź ς"), u"STRAßE ÉLAN ΩЯ ŁŹ Σ");
  EXPECT_TRUE(EqualNoCase(u"Administrator", u"ADMINISTRATOR"));
  EXPECT_FALSE(EqualNoCase(u"admin", u"admin2"));
}

}  // namespace
}  // namespace rpcrt::security::ntlm
