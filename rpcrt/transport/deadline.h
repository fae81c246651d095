// A point in time after which a blocking transport operation gives up.
#pragma once

#include <chrono>
#include <cstdint>

namespace rpcrt::transport {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  // Never expires.
  static Deadline Never() { return Deadline(Clock::time_point::max()); }
  // Expires the given number of milliseconds from now; 0 means never, as Windows reads a
  // time-out of zero.
  static Deadline AfterMs(uint64_t ms) {
    if (ms == 0) return Never();
    return Deadline(Clock::now() + std::chrono::milliseconds(ms));
  }

  bool IsNever() const { return at_ == Clock::time_point::max(); }
  bool Expired() const { return !IsNever() && Clock::now() >= at_; }

  // Milliseconds left for poll(): -1 for never, 0 once expired, rounded up otherwise so that
  // a poll never returns just before the deadline.
  int PollTimeout() const {
    if (IsNever()) return -1;
    auto left = at_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
  }

  // The earlier of two deadlines.
  static Deadline Earlier(Deadline a, Deadline b) { return a.at_ < b.at_ ? a : b; }

 private:
  explicit Deadline(Clock::time_point at) : at_(at) {}
  Clock::time_point at_;
};

}  // namespace rpcrt::transport
