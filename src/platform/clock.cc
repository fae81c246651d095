#include "platform/clock.h"

#include <atomic>

namespace platform {
namespace {

// Null means the system clock; the installed clock is owned by whoever installed it.
std::atomic<IClock*> g_clock{nullptr};

IClock& Current() {
  IClock* clock = g_clock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : SystemClock();
}

}  // namespace

IClock* SetClock(IClock* clock) {
  return g_clock.exchange(clock, std::memory_order_acq_rel);
}

}  // namespace platform

DWORD GetTickCount() {
  return platform::Current().Tick();
}

void Sleep(DWORD milliseconds) {
  platform::Current().Sleep(milliseconds);
}
