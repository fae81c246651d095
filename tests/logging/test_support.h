// Helpers shared by the logging and wrapper tests: a fixed local time, the expected line
// prefix of the calling thread, a manual clock, registry files written for one test, gzip
// and plain file reading, and a stand-in for the external log collector.
#pragma once

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/clock.h"
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
  fixed_time_t() { platform::FixLocalTimeForTesting(&kFixedTime); }
  ~fixed_time_t() { platform::FixLocalTimeForTesting(nullptr); }
};

// Installs a clock whose ticks move only when told to, for the lifetime of the object.
class manual_clock_t final : public platform::IClock {
 public:
  manual_clock_t() : previous_(platform::SetClock(this)) {}
  ~manual_clock_t() override { platform::SetClock(previous_); }
  DWORD Tick() override { return now_; }
  void Sleep(DWORD ms) override { now_ += ms; }

 private:
  platform::IClock* previous_;
  DWORD now_ = 1;
};

// "<  4512> " for the calling thread.
inline std::string thread_mark() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "<%6u> ", static_cast<unsigned>(GetCurrentThreadId()));
  return buf;
}

// A record of the channel tagged `tag` ("rpc      | ") as the calling thread writes it at the
// fixed time.
inline std::string stamped(std::string_view tag, std::string_view body, const char* eol = "\n") {
  return kFixedStamp + thread_mark() + std::string(tag) + std::string(body) + eol;
}

// A fresh directory under the system temporary directory, removed with the object.
class temp_dir_t {
 public:
  temp_dir_t() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zelqa-log-XXXXXX").generic_string();
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
    const std::string path = dir_.file("registry.reg");
    std::ofstream(path) << "Windows Registry Editor Version 5.00\r\n\r\n" << body;
    platform::ReloadRegistryForTesting(path);
  }
  ~registry_file_t() { platform::ReloadRegistryForTesting(dir_.file("absent.reg")); }

 private:
  temp_dir_t dir_;
};

// A UDP socket on loopback standing in for the external log collector.
class collector_t {
 public:
  uint16_t port() const { return port_; }
#ifdef _WIN32
  // On Winsock, in tests/windows/udp_collector.cc.
  collector_t();
  ~collector_t();
  std::optional<std::string> receive(int ms = 2000);

 private:
  intptr_t fd_ = -1;
#else
  collector_t() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~collector_t() {
    ::close(fd_);
  }

  // The next datagram, or nullopt when none arrives within `ms`.
  std::optional<std::string> receive(int ms = 2000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return std::nullopt;
    char buf[65536];
    const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
    if (got < 0) return std::nullopt;
    return std::string(buf, static_cast<size_t>(got));
  }

 private:
  int fd_ = -1;
#endif
  uint16_t port_ = 0;
};

// The whole content of a gzip file, read with zlib; a marker text when it cannot be opened.
inline std::string gunzip(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  if (in == nullptr) return "<cannot open " + path + ">";
  std::string out;
  char buf[65536];
  int got;
  while ((got = gzread(in, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(got));
  gzclose(in);
  return out;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace logtest
