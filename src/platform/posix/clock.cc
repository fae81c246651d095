#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

class SystemTimer final : public IClock {
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

}  // namespace

IClock& SystemClock() {
  static SystemTimer clock;
  return clock;
}

}  // namespace platform
