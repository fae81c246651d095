#include "platform/clock.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

class ManualClock final : public platform::IClock {
 public:
  explicit ManualClock(DWORD start) : now_(start) {}
  DWORD Tick() override { return now_.load(); }
  void Sleep(DWORD ms) override { now_ += ms; }  // time passes only when someone sleeps

 private:
  std::atomic<DWORD> now_;
};

// Restores whatever clock was installed before, even when a test fails.
class ScopedClock {
 public:
  explicit ScopedClock(platform::IClock* clock) : previous_(platform::SetClock(clock)) {}
  ~ScopedClock() { platform::SetClock(previous_); }

 private:
  platform::IClock* previous_;
};

TEST(Clock, SystemTickIsMonotonicAndSleepWaitsAtLeastTheAskedTime) {
  const DWORD before = GetTickCount();
  Sleep(20);
  const DWORD elapsed = GetTickCount() - before;  // unsigned difference survives a wrap
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(Clock, InstalledClockReplacesTickAndSleepAndWrapsLikeTheSystem) {
  ManualClock manual(0xFFFFFFF0u);
  {
    ScopedClock scope(&manual);
    const DWORD start = GetTickCount();
    EXPECT_EQ(start, 0xFFFFFFF0u);
    Sleep(10'000);  // returns at once: nobody waits ten seconds in a test
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u + 10'000u);
    EXPECT_EQ(GetTickCount() - start, 10'000u);
  }
  EXPECT_NE(GetTickCount(), manual.Tick());  // system clock is back
}

TEST(Clock, SwappingWhileOtherThreadsReadIsSafe) {
  ManualClock a(100), b(200);
  std::atomic<bool> stop{false};
  std::atomic<int> odd{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 2; ++i) {
    readers.emplace_back([&] {
      while (!stop) {
        const DWORD t = GetTickCount();
        if (t != 100 && t != 200 && t < 1000) ++odd;  // a torn or dangling read
      }
    });
  }
  for (int i = 0; i < 10'000; ++i) platform::SetClock(i % 2 ? &a : &b);
  platform::SetClock(nullptr);
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(odd, 0);
}

}  // namespace
