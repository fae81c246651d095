#include "platform/local_time.h"

#include <atomic>

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
  platform::SystemLocalTime(time);
}

namespace platform {

void FixLocalTimeForTesting(const SYSTEMTIME* time) {
  if (time == nullptr) {
    g_fixed.store(false, std::memory_order_release);
    return;
  }
  g_fixed_time = *time;
  g_fixed.store(true, std::memory_order_release);
}

}  // namespace platform
