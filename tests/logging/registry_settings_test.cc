// Settings read from the registry store: the aging limits and the external log collector of the
// debugger receiver, checked on a real UDP socket.
#ifndef _WIN32
#include <arpa/inet.h>
#endif

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "logging/log.h"
#include "logging/log_section.h"
#include "logging/receiver/output_debug_string_log.h"
#include "logging/size_check.h"
#include "tests/logging/test_support.h"

namespace logging {
namespace {

using logtest::registry_file_t;

constexpr const char* kProduct = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n";
constexpr const char* kExtLog = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZelqA\\Zelqa NFS]\r\n";

std::string dword(const char* name, uint32_t value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "\"%s\"=dword:%08x\r\n", name, value);
  return buf;
}

TEST(AgingSettingsTest, SizeAndCountFromTheProductKey) {
  const std::string size = "\"AgentMaxLogSize\"=";
  const struct {
    std::string values;
    uint64_t max_size;
    int32_t ages_limit;
  } rows[] = {
      {"", 15728640u, 10},
      {size + "dword:00001000\r\n" + dword("AgentMaxLogCount", 3), 4096u, 3},
      // 0x1_0000_0002 bytes as a QWORD (little-endian bytes).
      {size + "hex(b):02,00,00,00,01,00,00,00\r\n" + dword("AgentMaxLogCount", 0), 0x100000002u, 0},
      // Counts above 1000, or negative, are clamped.
      {size + "dword:00000001\r\n" + dword("AgentMaxLogCount", 1001), 1u, 1000},
      {size + "dword:00000001\r\n" + dword("AgentMaxLogCount", 0xFFFFFFFFu), 1u, 1000},
      // A size of another type keeps both defaults: the count is not read without it.
      {size + "\"4096\"\r\n" + dword("AgentMaxLogCount", 3), 15728640u, 10},
  };
  for (const auto& row : rows) {
    registry_file_t reg(std::string(kProduct) + row.values);
    const aging_settings_t s = read_aging_settings();
    EXPECT_EQ(s.max_size, row.max_size) << row.values;
    EXPECT_EQ(s.ages_limit, row.ages_limit) << row.values;
  }
}

class ExternalLogTest : public testing::Test {
 protected:
  // A "dbg" channel on a fresh logger with a fresh receiver, which reads the registry anew.
  void make_channel() {
    receiver_ = boost::make_shared<receiver::COutputDebugStringLog>();
    channel_ = std::make_unique<log_section_t>("dbg", boost::make_shared<log_t>(receiver_));
  }
  std::string line(std::string_view body) { return logtest::stamped("dbg      | ", body); }

  logtest::fixed_time_t time_;
  boost::shared_ptr<receiver::COutputDebugStringLog> receiver_;
  std::unique_ptr<log_section_t> channel_;
};

TEST_F(ExternalLogTest, EachRecordIsOneDatagramHoldingExactlyTheFormattedLines) {
  logtest::collector_t collector;
  // Any non-zero value switches it on; the port is taken modulo 65536.
  registry_file_t reg(std::string(kExtLog) + dword("ExtLogEnabled", 7) +
                      "\"ExtLogHost\"=\"127.0.0.1\"\r\n" +
                      dword("ExtLogPort", collector.port() + 65536u));
  make_channel();
  channel_->Warning("first\nsecond\nthird");
  channel_->Info(1, "next");
  EXPECT_EQ(collector.receive(), line("WARN|first") + line(">>  |second") + line(">>  |third"));
  EXPECT_EQ(collector.receive(), line("  next"));
  EXPECT_TRUE(receiver_->external_logging_on());
}

TEST_F(ExternalLogTest, DefaultsAndAnAddressThatIsNoAddress) {
  {
    registry_file_t reg(std::string(kExtLog) + dword("ExtLogEnabled", 1));
    make_channel();
    channel_->Info("x");
    EXPECT_TRUE(receiver_->external_logging_on());
    EXPECT_EQ(receiver_->target().address, inet_addr("127.0.0.1"));
    EXPECT_EQ(receiver_->target().port, 37183);
  }
  registry_file_t reg(std::string(kExtLog) + dword("ExtLogEnabled", 1) +
                      "\"ExtLogHost\"=\"collector.example\"\r\n");
  make_channel();
  channel_->Info("x");
  EXPECT_EQ(receiver_->target().address, INADDR_NONE);
}

}  // namespace
}  // namespace logging
