#include "util/win_reg_key.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "exc/exceptions.h"
#include "platform/registry.h"
#include "tests/exc/what_of.h"
#include "tests/logging/test_support.h"

namespace util {
namespace {

using testing::HasSubstr;

constexpr const char* kKey =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Test]\r\n"
    "\"Text\"=\"hello\"\r\n"
    "\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n"
    "\"Number\"=dword:0000002a\r\n"
    "\"Long\"=\"a text longer than four bytes\"\r\n"
    "\"Binary\"=hex:01,02\r\n";

class RegKeyTest : public testing::Test {
 protected:
  boost::shared_ptr<win_reg_key_t> open() {
    return win_reg_key_t::open_subkey(u"SOFTWARE\\Zelqa\\Test", {});
  }
  logtest::registry_file_t reg_{kKey};
};

TEST_F(RegKeyTest, ReadsStringsAndNumbers) {
  auto key = open();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->get_string("Text"), "hello");
  EXPECT_EQ(key->get_string("Expand"), "%TMP%");  // not expanded
  EXPECT_EQ(key->get_dword("Number"), 42u);
}

TEST_F(RegKeyTest, WrongTypesNameTheType) {
  auto key = open();
  EXPECT_EQ(exctest::WhatOf([&] { key->get_string("Number"); }),
            "Unexpected registry type: [4].\nCannot retrieve a registry value. Value name: "
            "[Number].");
  EXPECT_EQ(exctest::WhatOf([&] { key->get_dword("Text"); }),
            "Unexpected registry type: [1].\nCannot retrieve a registry value. Value name: "
            "[Text].");
  EXPECT_THAT(exctest::WhatOf([&] { key->get_string("Binary"); }),
              HasSubstr("Unexpected registry type: [3]."));
}

TEST_F(RegKeyTest, MissingValueCarriesTheStatus) {
  auto key = open();
  const auto e = exctest::Caught<exc::win_sys_exc_t>([&] { key->get_dword("Absent"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->error_code(), ERROR_FILE_NOT_FOUND);
  EXPECT_THAT(e->what(),
              testing::EndsWith("\nCannot retrieve a registry value. Value name: [Absent]."));
  EXPECT_THROW(key->get_string("Absent"), exc::win_sys_exc_t);
}

TEST_F(RegKeyTest, EmptyKeyAndAddressOfRules) {
  win_reg_key_t empty;
  EXPECT_EQ(exctest::WhatOf([&] { empty.get_string("Text"); }),
            "Registry key object is not initialized.\nCannot retrieve a registry value. Value "
            "name: [Text].");
  EXPECT_EQ(empty.close(), 0);

  win_reg_key_t key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelqa\\Test", 0, KEY_READ, &key),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(key.get_dword("Number"), 42u);
  EXPECT_EQ(exctest::WhatOf([&] { (void)&key; }),
            "operator& cannot be called because registry key already initialized.");
  EXPECT_EQ(key.close(), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(key.get(), nullptr);
  EXPECT_NE(&key, nullptr);  // empty again: may be filled anew
}

TEST_F(RegKeyTest, AbsentSubKeyIsEmptyOnlyWhenTolerated) {
  const std::u16string absent = u"SOFTWARE\\Zelqa\\Absent";
  EXPECT_EQ(win_reg_key_t::open_subkey(absent, {static_cast<LSTATUS>(ERROR_PATH_NOT_FOUND),
                                                static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)}),
            nullptr);
  const auto e = exctest::Caught<exc::win_sys_exc_t>(
      [&] { win_reg_key_t::open_subkey(absent, {static_cast<LSTATUS>(ERROR_PATH_NOT_FOUND)}); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->error_code(), ERROR_FILE_NOT_FOUND);
  EXPECT_THAT(e->what(), HasSubstr("\nFailed to open subkey. Path: [SOFTWARE\\Zelqa\\Absent].\n"
                                   "--tr:Error code: 0x00000002"));
}

}  // namespace
}  // namespace util
