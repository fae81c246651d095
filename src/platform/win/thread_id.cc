#include "platform/thread_id.h"

#include "platform/win/windows_api.h"

DWORD GetCurrentThreadId() {
  return win32::GetCurrentThreadId();
}
