#include "platform/local_time.h"

#include <atomic>
#include <ctime>

namespace {

// The fixed time is written only by tests, before the threads that read it start, so an
// atomic flag in front of a plain copy is enough.
std::atomic<bool> g_fixed{false};
SYSTEMTIME g_fixed_time{};

}  // namespace

void GetLocalTime(SYSTEMTIME* time) {
  if (g_fixed.load(std::memory_order_acquire)) {
    *time = g_fixed_time;
    return;
  }
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

namespace platform {

void FixLocalTime(const SYSTEMTIME* time) {
  if (time == nullptr) {
    g_fixed.store(false, std::memory_order_release);
    return;
  }
  g_fixed_time = *time;
  g_fixed.store(true, std::memory_order_release);
}

}  // namespace platform
