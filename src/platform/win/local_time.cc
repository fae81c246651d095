#include "platform/local_time.h"

#include "platform/win/windows_api.h"

namespace platform {

static_assert(sizeof(SYSTEMTIME) == sizeof(win32::SYSTEMTIME));

void SystemLocalTime(SYSTEMTIME* time) {
  win32::GetLocalTime(reinterpret_cast<win32::SYSTEMTIME*>(time));
}

}  // namespace platform
