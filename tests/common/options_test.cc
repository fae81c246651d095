#include "common/options.h"

#include <barrier>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"

namespace {

// Runs first in this program, so the record is created here.
TEST(Options, ConcurrentFirstReadersShareOneRecord) {
  constexpr int kThreads = 8;
  std::barrier start(kThreads);
  std::vector<const common::options_t*> seen(kThreads);
  std::vector<uint32_t> retry_counts(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      seen[i] = &common::GetOptions();
      retry_counts[i] = seen[i]->RpcRetryCount;
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(seen[i], seen[0]);
    EXPECT_EQ(retry_counts[i], 10u);
  }
}

class OptionsFromRegistry : public ::testing::Test {
 protected:
  void TearDown() override {
    std::remove(path_.c_str());
    platform::ReloadRegistryForTesting(path_);  // missing file: empty registry
    common::ReloadOptionsForTesting();
  }

  void Use(const std::string& values) {
    std::ofstream(path_) << "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"
                         << values;
    platform::ReloadRegistryForTesting(path_);
    common::ReloadOptionsForTesting();
  }

  std::string path_ = ::testing::TempDir() + "options_test.reg";
};

TEST_F(OptionsFromRegistry, DefaultsWithoutTheProductKey) {
  platform::ReloadRegistryForTesting(path_ + ".missing");
  common::ReloadOptionsForTesting();
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
