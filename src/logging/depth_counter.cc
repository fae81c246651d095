#include "logging/depth_counter.h"

#include <pthread.h>

#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
#include <unordered_map>

namespace logging {
namespace {

std::atomic<uint64_t> g_next_id{1};

// A thread's depths by counter id, and the counter it used last: every record asks for the
// depth, and one thread nearly always logs through one logger. The cached pointer stays valid
// for the table's life, as the map's elements never move.
struct thread_depths_t {
  std::unordered_map<uint64_t, int32_t> depths;
  uint64_t last_id = 0;
  int32_t* last = nullptr;
};

// The calling thread's table, created on first use. The thread-local variable is only a
// pointer; the table is freed at thread exit by a thread-specific key's destructor, which is
// handed the pointer itself. A thread_local object with a destructor cannot be used: where
// thread-local variables are emulated (mingw-w64), the emulation frees their storage at thread
// exit before the C++ run time destroys the objects that were in it.
thread_local thread_depths_t* t_depths = nullptr;

void free_depths(void* depths) {
  delete static_cast<thread_depths_t*>(depths);
  // A record written later in the thread's exit starts a new table, freed in turn.
  t_depths = nullptr;
}

pthread_key_t depths_key() {
  static const pthread_key_t key = [] {
    pthread_key_t created;
    if (const int rc = ::pthread_key_create(&created, &free_depths))
      throw std::system_error(rc, std::generic_category(), "pthread_key_create");
    return created;
  }();
  return key;
}

}  // namespace

depth_counter_t::depth_counter_t() : id_(g_next_id.fetch_add(1, std::memory_order_relaxed)) {}

int32_t* depth_counter_t::slot() {
  thread_depths_t* table = t_depths;
  if (table == nullptr) {
    const pthread_key_t key = depths_key();
    auto created = std::make_unique<thread_depths_t>();
    if (const int rc = ::pthread_setspecific(key, created.get()))
      throw std::system_error(rc, std::generic_category(), "pthread_setspecific");
    table = t_depths = created.release();
  }
  if (table->last_id == id_) return table->last;
  int32_t* value = &table->depths[id_];
  table->last_id = id_;
  table->last = value;
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
