// A logger's per-thread indentation depth, kept in thread-local storage: created at 0 on a
// thread's first use and freed when the thread ends.
#pragma once

#include <cstdint>

namespace logging {

class depth_counter_t {
 public:
  depth_counter_t();
  depth_counter_t(const depth_counter_t&) = delete;
  depth_counter_t& operator=(const depth_counter_t&) = delete;

  // The calling thread's depth; 0 when thread-local storage cannot be reached.
  int32_t get() noexcept;
  void increment() noexcept;
  // Never goes below 0.
  void decrement() noexcept;

 private:
  int32_t* slot();  // may throw when the storage cannot be allocated

  // Names the counter in each thread's table of depths; never reused in a process, so a
  // destroyed counter's entries are never read again (they go when their thread ends).
  const uint64_t id_;
};

}  // namespace logging
