#include "platform/guid.h"

#include <cstring>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/utf_convert.h"

namespace {

std::string ToText(const GUID& g) {
  WCHAR* text = nullptr;
  EXPECT_EQ(RPC_S_OK, UuidToStringW(&g, &text));
  std::string out = platform::Utf16ToUtf8(text);
  EXPECT_EQ(RPC_S_OK, RpcStringFreeW(&text));
  EXPECT_EQ(text, nullptr);
  return out;
}

TEST(Guid, TextIsLowerCaseEightFourFourFourTwelveInFieldOrder) {
  const GUID g{0xD1C2C07A, 0xD989, 0x48CC, {0xA4, 0x23, 0xB7, 0x3E, 0xCD, 0x51, 0x8D, 0x40}};
  EXPECT_EQ(ToText(g), "d1c2c07a-d989-48cc-a423-b73ecd518d40");
  const GUID zero{};
  EXPECT_EQ(ToText(zero), "00000000-0000-0000-0000-000000000000");
}

TEST(Guid, CreatedGuidsAreVersionFourRfcVariantAndDistinct) {
  const std::regex v4("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    GUID g;
    ASSERT_EQ(S_OK, CoCreateGuid(&g));
    EXPECT_EQ(g.Data3 >> 12, 4);
    EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
    const std::string text = ToText(g);
    ASSERT_TRUE(std::regex_match(text, v4)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 2000u);
}

}  // namespace
