#include "platform/local_time.h"

#include <ctime>

namespace platform {

void SystemLocalTime(SYSTEMTIME* time) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // localtime_r takes the time-zone lock on every call; loggers ask many times a second, so
  // each thread keeps the broken-down form of the last second it converted.
  thread_local time_t cached_second = -1;
  thread_local tm local{};
  if (now.tv_sec != cached_second) {
    if (localtime_r(&now.tv_sec, &local) == nullptr) {
      cached_second = -1;
      *time = SYSTEMTIME{1601, 1, 1, 1, 0, 0, 0, 0};
      return;
    }
    cached_second = now.tv_sec;
  }
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  // A leap second shows as 60 in struct tm; Windows never reports it.
  time->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

}  // namespace platform
