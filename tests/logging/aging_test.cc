// Aged names, the aging pass over real files and the gzip writer.
#include "logging/size_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "logging/channels.h"
#include "logging/log.h"
#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "tests/exc/what_of.h"
#include "tests/logging/test_support.h"
#include "util/file_system.h"
#include "util/zip_writer.h"

namespace logging {
namespace {

TEST(AgingTest, EveryCopyMovesOneAgeUpAndTheOldestGoes) {
  // The names on disk: the number goes before the archive extension, matched without case, or
  // after any other name.
  EXPECT_EQ(aged_name("/var/log/Agent.LOG.GZ", ".log.gz", 12), "/var/log/Agent.12.log.gz");
  EXPECT_EQ(aged_name("agent.txt.gz", ".log.gz", 3), "agent.txt.gz.3");
  logtest::temp_dir_t dir;
  const std::string base = dir.file("x.log.gz");
  auto age = [&](int n) { return aged_name(base, ".log.gz", static_cast<uint32_t>(n)); };
  for (int n = 0; n <= 3; ++n) std::ofstream(age(n), std::ios::binary) << "copy" << n;
  age_files(base, ".log.gz", 3);
  EXPECT_FALSE(util::fs::file_exists(age(0)));
  for (int n = 1; n <= 3; ++n)
    EXPECT_EQ(logtest::read_file(age(n)), "copy" + std::to_string(n - 1));
  EXPECT_FALSE(util::fs::file_exists(age(4)));
}

TEST(ZipWriterTest, OpenFailureNamesPathAndErrno) {
  const std::string path = "/nonexistent-dir/a.log.gz";
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { util::zip_writer_t writer(path); }),
            "Failed to open gzip file (error code: 2) : " + path + "\nFailed to open GZ archive [" +
                path + "]. Errno: 2");
}

TEST(ZipWriterTest, FailedCloseIsLoggedNotThrown) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  // Linking the channels runs their initialisation, which installs the error log hook, as
  // loading the library does; a test program that links the layers statically must name them.
  (void)channels::Default();
  auto sink = boost::make_shared<receiver::CMemoryLog>();
  scoped_receiver_t attach(sink);
  sink->clear();
  {
    util::zip_writer_t writer("/dev/full");
    writer.write("data that cannot be flushed");
  }
  const auto records = sink->records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_THAT(records[0],
              testing::EndsWith("         | ERR |Cannot close GZ archive [/dev/full].\r\n"));
  EXPECT_THAT(records[1], testing::EndsWith("         | ERR |Error code: -1\r\n"));

  // An explicit close reports the same failure to its caller.
  util::zip_writer_t writer("/dev/full");
  writer.write("x");
  EXPECT_THROW(writer.close(), exc::runtime_exc_t);
  EXPECT_EQ(writer.stream(), nullptr);
}

}  // namespace
}  // namespace logging
