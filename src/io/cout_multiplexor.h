// CCoutMultiplexor: fans console output out to every registered sink (a console window,
// a log pane, a test capture), so that several parts of a host can watch the same output.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string_view>

#include "rpcrt/base/mutex.h"

namespace io {

class CCoutMultiplexor {
 public:
  using sink_t = std::function<void(std::string_view)>;

  // Returns the id that removes the sink again.
  uint64_t Add(sink_t sink);
  bool Remove(uint64_t id);
  // Hands `text` to every sink, outside the lock, so a sink may add or remove sinks.
  void Write(std::string_view text) const;
  size_t Size() const;

  // Under the lock: if sinks remain, calls `on_clear` and removes them all. Returns whether
  // there was anything to clear.
  bool Clear(const std::function<void()>& on_clear);

 private:
  mutable rpcrt::base::Mutex mutex_;
  uint64_t next_id_ GUARDED_BY(mutex_) = 1;
  std::map<uint64_t, sink_t> sinks_ GUARDED_BY(mutex_);
};

}  // namespace io
