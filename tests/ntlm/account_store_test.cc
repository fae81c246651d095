// The DOMAIN:user:password account file.
#include <gtest/gtest.h>

#include "rpcrt/server/security/ntlm/account_store.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::security::ntlm {
namespace {

using rpcrt::testing::StatusOf;

TEST(NtlmAccountStore, ParsesLinesAndFindsWithoutCase) {
  AccountStore s = AccountStore::Parse(
      "CORP:Alice:pa:ss:word\r\n\n# comment\n:anyone:pw\nCÖRP:jürgen:x", "test");
  ASSERT_EQ(s.accounts().size(), 3u);
  const Identity* a = s.Find(u"ALICE", u"corp");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->password, u"pa:ss:word");  // colons after the second belong to the password
  EXPECT_EQ(s.Find(u"alice", u"OTHER"), nullptr);
  EXPECT_NE(s.Find(u"alice", u""), nullptr);
  EXPECT_NE(s.Find(u"anyone", u"WHEREVER"), nullptr);
  EXPECT_NE(s.Find(u"JÜRGEN", u"cörp"), nullptr);  // non-ASCII names, last line unterminated
  EXPECT_EQ(s.Find(u"nobody", u""), nullptr);
}

TEST(NtlmAccountStore, MalformedLinesNameTheLineNotTheSecret) {
  for (const char* text : {"CORP:alice:ok\nno-colons-secret\n", "CORP:alice:ok\nCORP:secret\n",
                           "CORP:alice:ok\nCORP::secret\n"}) {
    std::string what;
    EXPECT_EQ(StatusOf([&] { AccountStore::Parse(text, "accounts.txt"); }, &what), kSecPkgError);
    EXPECT_NE(what.find("accounts.txt line 2"), std::string::npos) << what;
    EXPECT_EQ(what.find("secret"), std::string::npos) << what;
  }
}

TEST(NtlmAccountStore, LoadReadsAFileAndReportsMissingOnes) {
  rpcrt::testing::TempFile f("D:u:p\n");
  EXPECT_EQ(AccountStore::Load(f.path()).accounts().size(), 1u);
  std::string what;
  EXPECT_EQ(StatusOf([] { AccountStore::Load("/nonexistent/file"); }, &what), kSecPkgError);
  EXPECT_NE(what.find("/nonexistent/file"), std::string::npos);
  rpcrt::testing::TempFile empty("");
  EXPECT_TRUE(AccountStore::Load(empty.path()).accounts().empty());
}

}  // namespace
}  // namespace rpcrt::security::ntlm
