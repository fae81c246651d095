#include "common/options.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/common/run_together.h"
#include "tests/logging/test_support.h"

namespace {

// Runs first in this program, so the record is created here.
TEST(Options, ConcurrentFirstReadersShareOneRecord) {
  const auto seen = commontest::RunTogether(8, [] { return &common::GetOptions(); });
  for (const common::options_t* options : seen) EXPECT_EQ(options, seen[0]);
  EXPECT_EQ(seen[0]->RpcRetryCount, 10u);
}

class OptionsFromRegistry : public ::testing::Test {
 protected:
  void TearDown() override {
    registry_.reset();  // an empty store again
    common::ReloadOptionsForTesting();
  }
  void Use(const std::string& values) {
    registry_.emplace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n" + values);
    common::ReloadOptionsForTesting();
  }

  std::optional<logtest::registry_file_t> registry_;
};

TEST_F(OptionsFromRegistry, DefaultsWithoutTheProductKey) {
  common::ReloadOptionsForTesting();  // nothing loaded: an empty store
  const auto& o = common::GetOptions();
  EXPECT_EQ(o.ProductKey, u"SOFTWARE\\Zelqa\\Zelqa Harbrix");
  EXPECT_EQ(o.RpcRetryCount, 10u);
  EXPECT_EQ(o.RpcRetryIntervalMs, 10000u);
  EXPECT_FALSE(o.RpcReconnectOnRetry);
  EXPECT_FALSE(o.UniqueBindingOff);
  EXPECT_EQ(o.CommonLibCtxSetting, 60u);
  EXPECT_FALSE(o.RpcVerboseLog);
  EXPECT_FALSE(o.RpcRetryOnAccessDenied);
  EXPECT_EQ(o.RpcEndpointMapperPort, 135u);
}

TEST_F(OptionsFromRegistry, DwordValuesOverrideAndOtherTypesAreIgnored) {
  Use("\"RpcRetryCount\"=dword:00000002\r\n"
      "\"RpcRetryIntervalMs\"=dword:00000032\r\n"
      "\"RpcReconnectOnRetry\"=dword:00000007\r\n"
      "\"RpcVerboseLog\"=dword:00000000\r\n"
      "\"UniqueBindingOff\"=\"1\"\r\n"
      "\"RpcEndpointMapperPort\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"RpcRetryOnAccessDenied\"=dword:00000001\r\n");
  const auto& o = common::GetOptions();
  EXPECT_EQ(o.RpcRetryCount, 2u);
  EXPECT_EQ(o.RpcRetryIntervalMs, 50u);
  EXPECT_TRUE(o.RpcReconnectOnRetry);  // any non-zero value is true
  EXPECT_FALSE(o.RpcVerboseLog);
  EXPECT_FALSE(o.UniqueBindingOff);          // a string is not a DWORD
  EXPECT_EQ(o.RpcEndpointMapperPort, 135u);  // nor is a QWORD
  EXPECT_TRUE(o.RpcRetryOnAccessDenied);
  EXPECT_EQ(o.CommonLibCtxSetting, 60u);  // absent
}

}  // namespace
