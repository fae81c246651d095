// The log file receiver on a real file: several processes sharing one file, records that
// reach the file whole or not at all, a path that is replaced, unwritable or planted.
#include "logging/receiver/file_log.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>

#include "logging/log.h"
#include "logging/log_level.h"
#include "logging/size_check.h"
#include "tests/logging/test_support.h"
#include "util/file_system.h"

namespace logging {
namespace {

std::string gunzip(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  if (in == nullptr) return {};
  std::string out;
  char buf[65536];
  int got;
  while ((got = gzread(in, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(got));
  gzclose(in);
  return out;
}

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

  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child != 0) {
      children.push_back(child);
      continue;
    }
    {
      auto logger = boost::make_shared<log_t>(boost::make_shared<receiver::CFileLog>(path));
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

}  // namespace
}  // namespace logging
