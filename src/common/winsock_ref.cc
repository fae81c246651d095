#include "common/winsock_ref.h"

#include <mutex>

namespace common {
namespace {

// Plain integers under a mutex that is never destroyed: usable from any static initialiser
// or destructor regardless of the order of translation units. (std::mutex cannot be
// constant-initialised everywhere: not with the Windows threads library.)
std::mutex& Mutex() {
  static std::mutex* const mutex = new std::mutex;
  return *mutex;
}
constinit uint32_t g_count = 0;
constinit uint32_t g_startups = 0;
constinit uint32_t g_cleanups = 0;

}  // namespace

winsock_ref_t::winsock_ref_t() {
  std::lock_guard lock(Mutex());
  if (g_count++ == 0) ++g_startups;  // WSAStartup(2.0): nothing to start on POSIX
}

winsock_ref_t::~winsock_ref_t() {
  std::lock_guard lock(Mutex());
  if (--g_count == 0) ++g_cleanups;  // WSACleanup
}

uint32_t winsock_ref_t::Count() {
  std::lock_guard lock(Mutex());
  return g_count;
}

uint32_t winsock_ref_t::Startups() {
  std::lock_guard lock(Mutex());
  return g_startups;
}

uint32_t winsock_ref_t::Cleanups() {
  std::lock_guard lock(Mutex());
  return g_cleanups;
}

}  // namespace common
