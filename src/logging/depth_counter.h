// A logger's per-thread indentation depth, kept in thread-local storage: created at 0 on a
// thread's first use and freed when the thread ends.
#pragma once

#include <cstdint>

#include <boost/thread/tss.hpp>

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

  struct slot_t {
    uint64_t owner = 0;  // id_ of the counter that set `depth`
    int32_t depth = 0;
  };

  // Tells counters apart, in each thread's one-entry cache and in their storage; never
  // reused in a process.
  const uint64_t id_;
  boost::thread_specific_ptr<slot_t> value_;
};

}  // namespace logging
