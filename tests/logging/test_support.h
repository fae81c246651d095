// Helpers shared by the logging and wrapper tests: a fixed local time, the expected line
// prefix of the calling thread, and registry files written for one test.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/local_time.h"
#include "platform/registry.h"
#include "platform/thread_id.h"

namespace logtest {

// 5 December 2026, 14:03:07.015.
inline constexpr SYSTEMTIME kFixedTime{2026, 12, 6, 5, 14, 3, 7, 15};
inline constexpr const char* kFixedStamp = "[05.12.2026 14:03:07.015] ";

// Fixes the local time for the lifetime of the object.
class fixed_time_t {
 public:
  explicit fixed_time_t(const SYSTEMTIME& time = kFixedTime) { platform::FixLocalTime(&time); }
  ~fixed_time_t() { platform::FixLocalTime(nullptr); }
};

// "<  4512> " for the calling thread.
inline std::string thread_mark() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "<%6u> ", static_cast<unsigned>(GetCurrentThreadId()));
  return buf;
}

// A fresh directory under the system temporary directory, removed with the object.
class temp_dir_t {
 public:
  temp_dir_t() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelqa-log-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~temp_dir_t() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `body` (lines after the header) as a .reg file and makes it the registry store; the
// store is emptied again when the object goes.
class registry_file_t {
 public:
  explicit registry_file_t(const std::string& body) {
    path_ = dir_.file("registry.reg");
    std::ofstream(path_) << "Windows Registry Editor Version 5.00\r\n\r\n" << body;
    platform::ReloadRegistry(path_);
  }
  ~registry_file_t() { platform::ReloadRegistry(dir_.file("absent.reg")); }

 private:
  temp_dir_t dir_;
  std::string path_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace logtest
