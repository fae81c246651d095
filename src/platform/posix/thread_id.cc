#include "platform/thread_id.h"

#include <sys/syscall.h>
#include <unistd.h>

DWORD GetCurrentThreadId() {
  // The kernel id, cached: it is what debuggers and /proc show, and it is unique among the
  // live threads of the machine like a Windows thread id.
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}
