#include "logging/receiver/memory_log.h"

#include "util/zip_writer.h"

namespace logging::receiver {

void CMemoryLog::write(const std::string& record) {
  rpcrt::base::MutexLock lock(mutex_);
  records_.push_back(record);
}

std::vector<std::string> CMemoryLog::records() const {
  rpcrt::base::MutexLock lock(mutex_);
  return records_;
}

void CMemoryLog::clear() {
  rpcrt::base::MutexLock lock(mutex_);
  records_.clear();
}

}  // namespace logging::receiver
