// The log file receiver on a real file: a path that is planted, and a file that cannot be aged.
#include "logging/receiver/file_log.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "logging/log.h"
#include "logging/log_level.h"
#include "logging/size_check.h"
#include "tests/logging/test_support.h"

namespace logging {
namespace {

class FileLogTest : public testing::Test {
 protected:
  logtest::temp_dir_t dir_;
  std::string path_ = dir_.file("x.log");
  const boost::shared_ptr<format::line_format_t> tag_ =
      boost::make_shared<format::line_format_t>("f");
};

TEST_F(FileLogTest, OnlyARegularFileIsWrittenAndOnlyItsOwnerMayReadIt) {
  const mode_t saved = umask(0);
  const std::string target = dir_.file("target");
  std::ofstream(target) << "";
  std::filesystem::create_symlink(target, path_);
  {
    receiver::CFileLog planted(path_);
    EXPECT_THROW(planted.write("secret\r\n"), exc::runtime_exc_t);
  }
  EXPECT_EQ(logtest::read_file(target), "");
  std::filesystem::remove(path_);
  // Nor is a FIFO, which nobody reads: opening it must not block.
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_THROW(receiver::CFileLog(path_).write("r\r\n"), exc::runtime_exc_t);
  std::filesystem::remove(path_);

  auto file = boost::make_shared<receiver::CFileLog>(path_);
  file->write("r\r\n");
  aging_settings_t settings;
  settings.max_size = 1;
  ASSERT_TRUE(check_log_size(file, settings));
  umask(saved);
  for (const std::string& name : {path_, path_ + ".gz"}) {
    struct stat st {};
    ASSERT_EQ(stat(name.c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
}

TEST_F(FileLogTest, FileThatCannotBeAgedStopsAtItsBoundAndIsCheckedOnceASecond) {
  logtest::manual_clock_t clock;
  aging_settings_t settings;
  settings.max_size = 64 * 1024;
  settings.ages_limit = 0;
  ASSERT_EQ(settings.hard_limit(), 128u * 1024);
  // The archive's name is taken by a folder that cannot be removed.
  std::filesystem::create_directories(path_ + ".gz/blocker");
  auto log = boost::make_shared<log_t>(
      boost::make_shared<receiver::CFileLog>(path_, settings.hard_limit()));
  int checks = 0;
  log->set_size_checker([&](const auto& r) {
    ++checks;
    return check_log_size(r, settings);
  });
  log->set_size_check(true);
  setenv("ZELQA_DEBUG_OUTPUT", "1", 1);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 10000; ++i) log->write(Info, 0, tag_, "record " + std::to_string(i));
  const std::string said = testing::internal::GetCapturedStderr();
  unsetenv("ZELQA_DEBUG_OUTPUT");
  const uint64_t size = std::filesystem::file_size(path_);
  EXPECT_LE(size, settings.hard_limit());
  EXPECT_GT(size, settings.hard_limit() - 100);
  // One check found room, the next one failed; the refused records did not run it again.
  EXPECT_EQ(checks, 2);
  EXPECT_THAT(said, testing::StartsWith("The log could not be aged; trying again once a second."));
  EXPECT_EQ(said.find("could not be aged", 10), std::string::npos);  // said once

  // Once aging works again, the full file goes into the archive, and the first record after
  // the resume header tells how many were lost.
  std::filesystem::remove_all(path_ + ".gz");
  clock.Sleep(log_t::kCheckRetryMs);
  log->write(Info, 0, tag_, "after");
  EXPECT_EQ(checks, 3);
  EXPECT_GT(logtest::gunzip(path_ + ".gz").size(), settings.max_size);
  const std::string text = logtest::read_file(path_);
  EXPECT_THAT(text, testing::HasSubstr("LOG: Resuming log session"));
  EXPECT_THAT(text, testing::HasSubstr(" log records could not be written and were lost."));
  EXPECT_THAT(text, testing::EndsWith("f        | after\r\n"));
}

}  // namespace
}  // namespace logging
