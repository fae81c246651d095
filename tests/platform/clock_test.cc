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

// The real clock is what the programs run on; the replaced one is what every retry test runs
// on. Swapping it must be safe while other threads read it.
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
