// Aged names, the aging pass over real files, the gzip writer and a file receiver driven past
// its size limit.
#include "logging/size_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "logging/log.h"
#include "logging/process_logger.h"
#include "logging/receiver/file_log.h"
#include "logging/receiver/memory_log.h"
#include "tests/exc/what_of.h"
#include "tests/logging/test_support.h"
#include "util/file_system.h"
#include "util/zip_writer.h"

namespace logging {
namespace {

using logtest::gunzip;

void touch(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(AgedNameTest, NumberGoesBeforeTheArchiveExtensionOrAtTheEnd) {
  const struct {
    const char* base;
    uint32_t age;
    const char* aged;
  } rows[] = {
      {"x.log.gz", 0, "x.log.gz"},   {"/var/log/Agent.log.gz", 1000, "/var/log/Agent.1000.log.gz"},
      {"X.LOG.GZ", 1, "X.1.log.gz"},  // matched without case, written as asked
      {".log.gz", 1, ".1.log.gz"},   {"name.", 1, "name.1"},
      {"name.txt", 3, "name.txt.3"},
  };
  for (const auto& row : rows) EXPECT_EQ(aged_name(row.base, ".log.gz", row.age), row.aged);
}

class AgingTest : public testing::Test {
 protected:
  std::string age(int n) { return aged_name(base_, ".log.gz", static_cast<uint32_t>(n)); }
  logtest::temp_dir_t dir_;
  std::string base_ = dir_.file("x.log.gz");
};

TEST_F(AgingTest, EveryCopyMovesOneAgeUpAndTheOldestGoes) {
  for (int n = 0; n <= 3; ++n) touch(age(n), "copy" + std::to_string(n));
  age_files(base_, ".log.gz", 3);
  EXPECT_FALSE(util::fs::file_exists(age(0)));
  EXPECT_EQ(logtest::read_file(age(1)), "copy0");
  EXPECT_EQ(logtest::read_file(age(2)), "copy1");
  EXPECT_EQ(logtest::read_file(age(3)), "copy2");
  EXPECT_FALSE(util::fs::file_exists(age(4)));
}

TEST_F(AgingTest, GapsAreSkippedAndLimitZeroOnlyDeletes) {
  touch(age(0), "a");
  touch(age(2), "c");
  age_files(base_, ".log.gz", 5);
  EXPECT_EQ(logtest::read_file(age(1)), "a");
  EXPECT_EQ(logtest::read_file(age(3)), "c");
  EXPECT_FALSE(util::fs::file_exists(age(2)));

  touch(age(0), "b");
  age_files(base_, ".log.gz", 0);
  EXPECT_FALSE(util::fs::file_exists(age(0)));
  EXPECT_EQ(logtest::read_file(age(1)), "a");  // untouched
}

TEST_F(AgingTest, FailureNamesTheFileTheExtensionAndTheLimit) {
  // The oldest age is a non-empty directory, which the delete cannot remove.
  touch(age(0), "a");
  std::filesystem::create_directories(age(1) + "/blocker");
  const std::string what =
      exctest::WhatOf<exc::runtime_exc_t>([&] { age_files(base_, ".log.gz", 1); });
  EXPECT_THAT(what, testing::StartsWith("Cannot delete file. path: [" + age(1) +
                                        "], code: [39], descr: [Directory not empty]\n"));
  EXPECT_THAT(what, testing::EndsWith("\nCannot age file. File path: [" + base_ +
                                      "]. Extension: [.log.gz]. Ages limit: [1]."));
  EXPECT_EQ(logtest::read_file(age(0)), "a");  // nothing lost
}

// Deleting fails with the same wording, checked in the aging failure above.
TEST(FileSystemTest, MoveErrorsCarryPathCodeAndDescription) {
  logtest::temp_dir_t dir;
  const std::string missing = dir.file("missing");
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>(
                [&] { util::fs::move_file_replace(missing, dir.file("b")); }),
            "Cannot move file to [" + dir.file("b") + "]. path: [" + missing +
                "], code: [2], descr: [No such file or directory]");
  touch(dir.file("a"), "A");
  touch(dir.file("b"), "B");
  util::fs::move_file_replace(dir.file("a"), dir.file("b"));
  EXPECT_FALSE(util::fs::file_exists(dir.file("a")));
  EXPECT_EQ(logtest::read_file(dir.file("b")), "A");
}

TEST(ZipWriterTest, OpenFailureNamesPathAndErrno) {
  const std::string path = "/nonexistent-dir/a.log.gz";
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { util::zip_writer_t writer(path); }),
            "Failed to open gzip file (error code: 2) : " + path + "\nFailed to open GZ archive [" +
                path + "]. Errno: 2");
}

TEST(ZipWriterTest, FailedCloseIsLoggedNotThrown) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
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

class FileLogAgingTest : public testing::Test {
 protected:
  logtest::temp_dir_t dir_;
  std::string path_ = dir_.file("x.log");
};

TEST_F(FileLogAgingTest, FileIsFullAtExactlyItsLimitAndZeroMeansNoLimit) {
  auto file = boost::make_shared<receiver::CFileLog>(path_);
  file->write("0123456789");
  for (uint64_t limit : {0u, 11u}) {
    aging_settings_t settings;
    settings.max_size = limit;
    EXPECT_FALSE(check_log_size(file, settings)) << limit;
  }
  EXPECT_FALSE(util::fs::file_exists(path_ + ".gz"));
  aging_settings_t exact;
  exact.max_size = 10;
  EXPECT_TRUE(check_log_size(file, exact));
  EXPECT_EQ(gunzip(path_ + ".gz"), "0123456789");
  EXPECT_EQ(logtest::read_file(path_), "");
}

TEST_F(FileLogAgingTest, ArchiveThatCannotBeCreatedKeepsTheLogAndExplainsWhy) {
  auto file = boost::make_shared<receiver::CFileLog>(path_);
  file->write("keep me");
  std::filesystem::create_directory(path_ + ".gz");  // the archive name is taken by a directory
  std::filesystem::create_directory(path_ + ".gz/x");
  aging_settings_t settings;
  settings.max_size = 1;
  settings.ages_limit = 0;
  EXPECT_THAT(exctest::WhatOf<exc::exc_base_t>([&] { check_log_size(file, settings); }),
              testing::EndsWith("\nUnable to validate log size limit. Log path: [" + path_ + "]."));
  EXPECT_EQ(logtest::read_file(path_), "keep me");
  EXPECT_EQ(file->size(), 7u);
}

}  // namespace
}  // namespace logging
