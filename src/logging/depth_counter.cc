#include "logging/depth_counter.h"

#include <atomic>
#include <exception>

namespace logging {
namespace {

std::atomic<uint64_t> g_next_id{1};

// The counter a thread used last. Every record asks for the depth, and the thread-specific
// storage lookup is a search through the thread's table; one thread nearly always logs
// through one logger. The cached value stays valid for the thread's life because a counter's
// storage is only freed at thread exit (or with the counter, whose id then never returns).
struct last_used_t {
  uint64_t id = 0;
  int32_t* value = nullptr;
};
thread_local last_used_t t_last_used;

}  // namespace

depth_counter_t::depth_counter_t() : id_(g_next_id.fetch_add(1, std::memory_order_relaxed)) {}

int32_t* depth_counter_t::slot() {
  if (t_last_used.id == id_) return t_last_used.value;
  slot_t* slot = value_.get();
  if (slot == nullptr) {
    slot = new slot_t;
    value_.reset(slot);
  }
  // Thread-specific storage is keyed by the object's address: a counter built where a
  // destroyed one lived finds that one's values in threads that outlived it.
  if (slot->owner != id_) *slot = {id_, 0};
  t_last_used = {id_, &slot->depth};
  return &slot->depth;
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
