#include "common/winsock_ref.h"

#include "rpcrt/base/mutex.h"

namespace common {
namespace {

// Plain integers under a mutex that is never destroyed: usable from any static initialiser
// or destructor regardless of the order of translation units. (std::mutex cannot be
// constant-initialised everywhere: not with the Windows threads library.)
rpcrt::base::Mutex& Mutex() {
  static rpcrt::base::Mutex* const mutex = new rpcrt::base::Mutex;
  return *mutex;
}
constinit uint32_t g_count GUARDED_BY(Mutex()) = 0;
constinit uint32_t g_startups GUARDED_BY(Mutex()) = 0;
constinit uint32_t g_cleanups GUARDED_BY(Mutex()) = 0;

}  // namespace

winsock_ref_t::winsock_ref_t() {
  rpcrt::base::MutexLock lock(Mutex());
  if (g_count++ == 0) ++g_startups;  // WSAStartup(2.0): nothing to start on POSIX
}

winsock_ref_t::~winsock_ref_t() {
  rpcrt::base::MutexLock lock(Mutex());
  if (--g_count == 0) ++g_cleanups;  // WSACleanup
}

uint32_t winsock_ref_t::Count() {
  rpcrt::base::MutexLock lock(Mutex());
  return g_count;
}

uint32_t winsock_ref_t::Startups() {
  rpcrt::base::MutexLock lock(Mutex());
  return g_startups;
}

uint32_t winsock_ref_t::Cleanups() {
  rpcrt::base::MutexLock lock(Mutex());
  return g_cleanups;
}

}  // namespace common
