#include "platform/registry.h"

#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/utf_convert.h"
#include "tests/logging/test_support.h"

namespace {

using testing::HasSubstr;

// What regedit writes: UTF-16LE with a byte-order mark and CRLF line ends.
std::string AsRegeditFile(const std::string& utf8_lines) {
  std::string crlf;
  for (char c : utf8_lines) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string bytes = "\xFF\xFE";
  for (char16_t c : platform::Utf8ToUtf16(crlf)) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

class RegistryTest : public testing::Test {
 protected:
  void Load(const std::string& bytes) {
    std::ofstream(dir_.file("registry.reg"), std::ios::binary) << bytes;
    platform::ReloadRegistryForTesting(dir_.file("registry.reg"));
  }
  void TearDown() override { platform::ReloadRegistryForTesting("/nonexistent/registry.reg"); }

  HKEY Open(const char16_t* path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key)));
    return key;
  }

  logtest::temp_dir_t dir_;
};

DWORD QueryDword(HKEY key, const char16_t* name) {
  DWORD type = REG_NONE, value = 0, size = sizeof value;
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExW(key, name, nullptr, &type,
                                                reinterpret_cast<LPBYTE>(&value), &size)));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  return value;
}

TEST_F(RegistryTest, MalformedLinesAreSkippedAndReported) {
  Load(AsRegeditFile(R"(Windows Registry Editor Version 5.00
"Orphan"=dword:00000001
[HKEY_LOCAL_MACHINE\SOFTWARE\Zelqa]
"BadDword"=dword:xyz
"LongDword"=dword:123456789
"Open"="no closing quote
"ShortQword"=hex(b):01,02,03,04
"OddHex"=hex:0,1
"NoEquals" dword:00000001
garbage here
"Good"=dword:00000002
[HKEY_NOWHERE\Thing]
"Lost"=dword:00000003
[HKEY_LOCAL_MACHINE\Broken
"AlsoLost"=dword:00000004
)"));
  const auto diagnostics = platform::RegistryDiagnostics();
  EXPECT_EQ(diagnostics.size(), 10u);  // all but the values under skipped keys
  EXPECT_THAT(diagnostics, testing::Contains(HasSubstr("line 4: malformed dword")));
  HKEY key = Open(u"SOFTWARE\\Zelqa");
  EXPECT_EQ(QueryDword(key, u"Good"), 2u);
  // A buffer too small: more data, the size needed, and the buffer untouched.
  DWORD value = 0xCC, size = 2;
  EXPECT_EQ(ERROR_MORE_DATA,
            static_cast<DWORD>(RegQueryValueExW(key, u"Good", nullptr, nullptr,
                                                reinterpret_cast<LPBYTE>(&value), &size)));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, 0xCCu);
  for (const char16_t* lost :
       {u"BadDword", u"LongDword", u"Open", u"ShortQword", u"OddHex", u"AlsoLost", u"Orphan"}) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              static_cast<DWORD>(RegQueryValueExW(key, lost, nullptr, nullptr, nullptr, nullptr)))
        << platform::Utf16ToUtf8(lost);
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, FilesThatAreNotRegistriesGiveAnEmptyOne) {
  Load("just some text\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n");
  EXPECT_THAT(platform::RegistryDiagnostics(), testing::ElementsAre(HasSubstr("not a registry")));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key)));
  platform::ReloadRegistryForTesting("/nonexistent/registry.reg");  // missing: empty and silent
  EXPECT_THAT(platform::RegistryDiagnostics(), testing::IsEmpty());
  platform::ReloadRegistryForTesting("/tmp");  // a directory cannot be read as a file
  EXPECT_THAT(platform::RegistryDiagnostics(),
              testing::ElementsAre(HasSubstr("cannot be read: not a regular file")));
}

}  // namespace
