#include "platform/thread_id.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The kernel id, cached per thread: it is what debuggers and /proc show, and it is unique
// among the live threads of the machine like a Windows thread id. 0 means "not asked yet".
thread_local DWORD t_id = 0;

// The child of fork() runs on a copy of the forking thread, cache included, but the kernel
// gave that thread a new id.
void forget_after_fork() {
  t_id = 0;
}

}  // namespace

DWORD GetCurrentThreadId() {
  if (t_id == 0) {
    // Registered on first use rather than during static initialisation, so that no order of
    // initialisation can let a fork slip past it.
    static const int registered = ::pthread_atfork(nullptr, nullptr, &forget_after_fork);
    (void)registered;
    t_id = static_cast<DWORD>(::syscall(SYS_gettid));
  }
  return t_id;
}
