// The log file receiver on a real file: several processes sharing one file, records that
// reach the file whole or not at all, a path that is replaced, unwritable or planted.
#include "logging/receiver/file_log.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "logging/log.h"
#include "logging/log_level.h"
#include "logging/size_check.h"
#include "tests/logging/test_support.h"
#include "util/file_system.h"

namespace logging {
namespace {

using logtest::gunzip;

// Every line's text after the tag "mp       | ", counted, from the file and all its archives.
std::map<std::string, int> count_lines(const std::string& path, int ages) {
  std::string all = logtest::read_file(path);
  for (int n = 0; n <= ages; ++n) {
    const std::string archive = aged_name(path + ".gz", ".log.gz", static_cast<uint32_t>(n));
    if (util::fs::file_exists(archive)) all += gunzip(archive);
  }
  std::map<std::string, int> seen;
  const std::string tag = "mp       | ";
  size_t start = 0, end;
  while ((end = all.find("\r\n", start)) != std::string::npos) {
    const size_t at = all.find(tag, start);
    if (at != std::string::npos && at < end)
      ++seen[all.substr(at + tag.size(), end - at - tag.size())];
    start = end + 2;
  }
  return seen;
}

TEST(FileLogProcessesTest, ProcessesSharingAFileNeitherLoseNorRepeatRecords) {
  constexpr int kProcesses = 3, kThreads = 2, kRecords = 5000, kAges = 1000;
  logtest::temp_dir_t dir;
  const std::string path = dir.file("shared.log");
  aging_settings_t settings;
  settings.max_size = 32 * 1024;
  settings.ages_limit = kAges;

  // Half the processes use a receiver opened before the fork, the others one of their own.
  const auto inherited = boost::make_shared<receiver::CFileLog>(path);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child != 0) {
      children.push_back(child);
      continue;
    }
    {
      auto logger = boost::make_shared<log_t>(
          p % 2 == 0 ? inherited : boost::make_shared<receiver::CFileLog>(path));
      logger->set_size_checker([settings](const auto& r) { return check_log_size(r, settings); });
      logger->set_size_check(true);
      const auto tag = boost::make_shared<format::line_format_t>("mp");
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
          for (int r = 0; r < kRecords; ++r) {
            logger->write(
                Info, 0, tag,
                "p" + std::to_string(p) + " t" + std::to_string(t) + " r" + std::to_string(r));
          }
        });
      }
      for (auto& thread : threads) thread.join();
    }
    _exit(0);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  const auto seen = count_lines(path, kAges);
  int lost = 0, repeated = 0;
  for (int p = 0; p < kProcesses; ++p) {
    for (int t = 0; t < kThreads; ++t) {
      for (int r = 0; r < kRecords; ++r) {
        const auto it = seen.find("p" + std::to_string(p) + " t" + std::to_string(t) + " r" +
                                  std::to_string(r));
        if (it == seen.end()) {
          ++lost;
        } else {
          repeated += it->second - 1;
        }
      }
    }
  }
  EXPECT_EQ(lost, 0) << "of " << kProcesses * kThreads * kRecords;
  EXPECT_EQ(repeated, 0);
  EXPECT_TRUE(util::fs::file_exists(dir.file("shared.1.log.gz")));  // it did age, repeatedly
}

class FileLogTest : public testing::Test {
 protected:
  logtest::temp_dir_t dir_;
  std::string path_ = dir_.file("x.log");
  logtest::fixed_time_t time_;
  const boost::shared_ptr<format::line_format_t> tag_ =
      boost::make_shared<format::line_format_t>("f");
};

TEST_F(FileLogTest, PathReplacedFromOutsideIsOpenedAgain) {
  receiver::CFileLog file(path_);
  file.write("a\r\n");
  std::filesystem::rename(path_, path_ + ".moved");
  file.write("b\r\n");
  EXPECT_EQ(logtest::read_file(path_), "b\r\n");
  std::filesystem::remove(path_);
  file.write("c\r\n");
  EXPECT_EQ(logtest::read_file(path_), "c\r\n");
  EXPECT_EQ(file.size(), 3u);
  EXPECT_EQ(logtest::read_file(path_ + ".moved"), "a\r\n");
}

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

TEST_F(FileLogTest, RecordIsWrittenWholeOrNotAtAllAndTheLossIsReported) {
  // A file-size limit cuts a write short; the process is not killed for it.
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  log_t log(boost::make_shared<receiver::CFileLog>(path_));
  log.write(Info, 0, tag_, "first");
  const uint64_t first = logtest::read_file(path_).size();
  rlimit small = saved;
  small.rlim_cur = first + 20;
  setrlimit(RLIMIT_FSIZE, &small);
  log.write(Info, 0, tag_, "second, longer than the twenty bytes left");
  log.write(Info, 0, tag_, "third, as long as the second was");
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  log.write(Info, 0, tag_, "fourth");

  const std::string text = logtest::read_file(path_);
  const std::string prefix = logtest::kFixedStamp + logtest::thread_mark();
  EXPECT_EQ(text, prefix + "f        | first\r\n" + prefix +
                      "         | WARN|2 log records could not be written and were lost.\r\n" +
                      prefix + "f        | fourth\r\n");
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
  EXPECT_GT(gunzip(path_ + ".gz").size(), settings.max_size);
  const std::string text = logtest::read_file(path_);
  EXPECT_THAT(text, testing::HasSubstr("LOG: Resuming log session"));
  EXPECT_THAT(text, testing::HasSubstr(" log records could not be written and were lost."));
  EXPECT_THAT(text, testing::EndsWith("f        | after\r\n"));
}

}  // namespace
}  // namespace logging
