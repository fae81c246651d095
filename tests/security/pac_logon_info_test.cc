// The caller's names from a PAC's logon information, and what a damaged buffer gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rpcrt/server/security/kerberos/pac_logon_info.h"

namespace {

using rpcrt::security::ParsePacLogonNames;

// Builds the NDR serialisation of a validation-information structure with the given strings
// (empty: a null pointer) and `groups` group memberships, as a KDC writes it.
class LogonInfo {
 public:
  std::string account = "alice";
  std::string full_name = "Alice Example";
  std::string logon_server = "DC1";
  std::string domain = "ZAD";
  uint32_t groups = 2;

  std::vector<uint8_t> Encode(size_t* group_count_at = nullptr) const {
    std::vector<uint8_t> b = {1, 0x10, 8, 0, 0xcc, 0xcc, 0xcc, 0xcc, 0, 0, 0, 0, 0, 0, 0, 0};
    Put32(b, 0x20000);
    const size_t base = b.size();
    b.resize(base + 216);
    uint32_t referent = 0x20004;
    auto string_field = [&](size_t offset, const std::string& s) {
      Set16(b, base + offset, static_cast<uint16_t>(s.size() * 2));
      Set16(b, base + offset + 2, static_cast<uint16_t>(s.size() * 2));
      if (!s.empty()) Set32(b, base + offset + 4, referent += 4);
    };
    string_field(48, account);
    string_field(56, full_name);
    string_field(136, logon_server);
    string_field(144, domain);
    if (groups != 0) Set32(b, base + 112, referent += 4);
    Set32(b, base + 108, groups);
    for (const std::string* s : {&account, &full_name}) PutString(b, *s);
    if (groups != 0) {
      while (b.size() % 4 != 0) b.push_back(0);
      if (group_count_at != nullptr) *group_count_at = b.size();
      Put32(b, groups);
      for (uint32_t g = 0; g < groups; ++g) Put32(b, 513 + g), Put32(b, 7);
    }
    PutString(b, logon_server);
    PutString(b, domain);
    return b;
  }

 private:
  static void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  static void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  static void Put32(std::vector<uint8_t>& b, uint32_t v) {
    b.resize(b.size() + 4);
    Set32(b, b.size() - 4, v);
  }
  static void PutString(std::vector<uint8_t>& b, const std::string& s) {
    if (s.empty()) return;
    while (b.size() % 4 != 0) b.push_back(0);
    Put32(b, static_cast<uint32_t>(s.size()));
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(s.size()));
    for (char c : s) b.push_back(static_cast<uint8_t>(c)), b.push_back(0);
  }
};

TEST(PacLogonInfoTest, ReadsTheLogonDomainAndAccountPastTheOtherFields) {
  struct Case {
    const char* name;
    LogonInfo info;
  } cases[] = {
      {"all present", {}},
      {"odd-length names and no groups", {"bob", "B", "DC", "ZADX", 0}},
      {"optional strings absent", {"alice", "", "", "ZAD", 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto names = ParsePacLogonNames(c.info.Encode());
    ASSERT_TRUE(names);
    EXPECT_EQ(names->account, c.info.account);
    EXPECT_EQ(names->domain, c.info.domain);
  }
}

TEST(PacLogonInfoTest, DamagedBuffersGiveNoNames) {
  size_t group_count_at = 0;
  const std::vector<uint8_t> good = LogonInfo{}.Encode(&group_count_at);
  for (size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(ParsePacLogonNames({good.data(), size})) << "cut to " << size << " bytes";
  }
  auto damaged = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> b = good;
    b.at(at) = value;
    return ParsePacLogonNames(b).has_value();
  };
  EXPECT_FALSE(damaged(1, 0x00)) << "big-endian serialisation";
  EXPECT_FALSE(damaged(group_count_at + 3, 0x40)) << "a group count far beyond the buffer";
  LogonInfo no_domain;
  no_domain.domain.clear();
  EXPECT_FALSE(ParsePacLogonNames(no_domain.Encode()));
}

}  // namespace
