#include "logging/depth_counter.h"

#include <atomic>
#include <exception>
#include <unordered_map>

namespace logging {
namespace {

std::atomic<uint64_t> g_next_id{1};

// Each thread's depths by counter id; the values are freed when the thread ends.
thread_local std::unordered_map<uint64_t, int32_t> t_depths;

// The counter a thread used last. Every record asks for the depth, and one thread nearly
// always logs through one logger. The cached pointer stays valid for the thread's life: the
// map's elements never move and are only freed at thread exit.
struct last_used_t {
  uint64_t id = 0;
  int32_t* value = nullptr;
};
thread_local last_used_t t_last_used;

}  // namespace

depth_counter_t::depth_counter_t() : id_(g_next_id.fetch_add(1, std::memory_order_relaxed)) {}

int32_t* depth_counter_t::slot() {
  if (t_last_used.id == id_) return t_last_used.value;
  int32_t* value = &t_depths[id_];
  t_last_used = {id_, value};
  return value;
}

int32_t depth_counter_t::get() noexcept {
  try {
    return *slot();
  } catch (const std::exception&) {
    return 0;
  }
}

void depth_counter_t::increment() noexcept {
  try {
    ++*slot();
  } catch (const std::exception&) {
    // An indentation that cannot be kept is not worth failing the caller for.
  }
}

void depth_counter_t::decrement() noexcept {
  try {
    int32_t* value = slot();
    if (*value >= 1) --*value;
  } catch (const std::exception&) {
  }
}

}  // namespace logging
