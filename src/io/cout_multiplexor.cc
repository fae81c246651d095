#include "io/cout_multiplexor.h"

#include <vector>

namespace io {

uint64_t CCoutMultiplexor::Add(sink_t sink) {
  rpcrt::base::MutexLock lock(mutex_);
  const uint64_t id = next_id_++;
  sinks_.emplace(id, std::move(sink));
  return id;
}

bool CCoutMultiplexor::Remove(uint64_t id) {
  rpcrt::base::MutexLock lock(mutex_);
  return sinks_.erase(id) != 0;
}

void CCoutMultiplexor::Write(std::string_view text) const {
  std::vector<sink_t> sinks;
  {
    rpcrt::base::MutexLock lock(mutex_);
    sinks.reserve(sinks_.size());
    for (const auto& [id, sink] : sinks_) sinks.push_back(sink);
  }
  for (const auto& sink : sinks) sink(text);
}

size_t CCoutMultiplexor::Size() const {
  rpcrt::base::MutexLock lock(mutex_);
  return sinks_.size();
}

bool CCoutMultiplexor::Clear(const std::function<void()>& on_clear) {
  rpcrt::base::MutexLock lock(mutex_);
  if (sinks_.empty()) return false;
  if (on_clear) on_clear();
  sinks_.clear();
  return true;
}

}  // namespace io
