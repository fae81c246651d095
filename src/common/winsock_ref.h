// The process's reference count on the socket layer. On Windows the first reference starts
// Winsock 2.0 and the last one cleans it up; POSIX sockets need neither, but the count is
// kept honestly so that start-up and clean-up run exactly where Windows would run them.
#pragma once

#include <cstdint>

namespace common {

class winsock_ref_t {
 public:
  winsock_ref_t();
  ~winsock_ref_t();
  winsock_ref_t(const winsock_ref_t&) = delete;
  winsock_ref_t& operator=(const winsock_ref_t&) = delete;

  // References held now, and how often the socket layer was started up and cleaned up.
  static uint32_t Count();
  static uint32_t Startups();
  static uint32_t Cleanups();
};

}  // namespace common
