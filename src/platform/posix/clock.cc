#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace platform {
namespace {

class SystemClock final : public IClock {
 public:
  DWORD Tick() override {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // wraps every 49.7 days, as GetTickCount does
  }

  void Sleep(DWORD ms) override {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // A signal must not shorten the sleep: retry with what is left.
    while (::nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
  }
};

SystemClock g_system_clock;
// Null means the system clock; the installed clock is owned by whoever installed it.
std::atomic<IClock*> g_clock{nullptr};

IClock& Current() {
  IClock* clock = g_clock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : g_system_clock;
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
