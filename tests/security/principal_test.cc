// How identities become Kerberos principal names, and how credential text is converted.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>

#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/utf8.h"
#include "rpcrt/status.h"
#include "tests/rpcrt_wire/test_util.h"

namespace {

using namespace rpcrt::security;

TEST(PrincipalTest, DomainBecomesTheUpperCaseRealm) {
  EXPECT_EQ(KerberosPrincipal(Identity(u"alice", u"example.test", u"pw")), "alice@EXAMPLE.TEST");
  EXPECT_EQ(KerberosPrincipal(Identity(u"alice", u"EXAMPLE.TEST", u"pw")), "alice@EXAMPLE.TEST");
  EXPECT_EQ(KerberosPrincipal(Identity(u"alice", u"", u"pw")), "alice")
      << "no domain: the default realm";
  EXPECT_EQ(KerberosPrincipal(Identity(u"alice@corp.example", u"OTHER", u"pw")),
            "alice@CORP.EXAMPLE")
      << "a principal-style user keeps its own realm";
  EXPECT_EQ(KerberosPrincipal(Identity(u"Jos\u00e9", u"x.test", u"pw")), "Jos\xc3\xa9@X.TEST");
}

TEST(PrincipalTest, NetbiosDomainBecomesTheConfiguredRealmItStarts) {
  const std::string conf = ::testing::TempDir() + "principal-krb5.conf";
  std::ofstream(conf) << "[libdefaults]\n default_realm = HOME.EXAMPLE\n"
                      << "[realms]\n ZAD = {\n  kdc = 127.0.0.18\n }\n"
                      << " zad.test = {\n  kdc = 127.0.0.18\n }\n"
                      << " ZADIG.TEST = {\n  kdc = 127.0.0.18\n }\n";
  setenv("KRB5_CONFIG", conf.c_str(), 1);
  const struct {
    const char16_t* domain;
    const char* principal;
  } cases[] = {
      {u"ZAD", "alice@ZAD.TEST"},       // a dotted realm wins over one named like the domain
      {u"zad", "alice@ZAD.TEST"},       // NetBIOS names are case-blind
      {u"HOME", "alice@HOME.EXAMPLE"},  // the default realm counts as configured
      {u"ZADIG", "alice@ZADIG.TEST"},   // a whole first label, not a prefix
      {u"OTHER", "alice@OTHER"},        // unknown: as written, for the KDC to canonicalise
      {u"zad.test", "alice@ZAD.TEST"},  // a DNS domain is its realm
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KerberosPrincipal(Identity(u"alice", c.domain, u"pw")), c.principal);
  }
  unsetenv("KRB5_CONFIG");
}

TEST(PrincipalTest, EmptyOrBrokenUserIsAnInvalidIdentity) {
  EXPECT_EQ(rpcrt::testing::StatusOf([] { KerberosPrincipal(Identity(u"", u"X", u"pw")); }),
            rpcrt::kInvalidAuthIdentity);
  EXPECT_THROW(KerberosPrincipal(Identity(std::u16string(1, u'\xd800'), u"X", u"pw")),
               rpcrt::RpcError);
}

TEST(Utf8Test, ConvertsEveryPlaneAndRefusesLoneSurrogates) {
  EXPECT_EQ(ToUtf8(u"a\u00ff\u20ac\U0001F600"), "a\xc3\xbf\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_THROW(ToUtf8(std::u16string(1, u'\xdc00')), rpcrt::RpcError);
  EXPECT_THROW(ToUtf8(std::u16string{u'\xd83d', u'a'}), rpcrt::RpcError);
  EXPECT_EQ(ToUtf8(u""), "");
}

}  // namespace
