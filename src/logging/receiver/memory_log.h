// A receiver that keeps every record in memory, for hosts and tests that want to look at
// what was logged.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "logging/receiver/log_file.h"
#include "rpcrt/base/mutex.h"

namespace logging::receiver {

class CMemoryLog : public log_file_t {
 public:
  explicit CMemoryLog(std::string line_end = "\r\n") : line_end_(std::move(line_end)) {}

  void write(const std::string& record) override;
  std::string path() const override { return {}; }
  std::string line_end() const override { return line_end_; }
  uint64_t size() const override { return 0; }
  void take_archive(boost::shared_ptr<util::zip_writer_t> archive) override { archive.reset(); }

  // A copy of the records received so far, oldest first; safe while others log.
  std::vector<std::string> records() const;
  void clear();

 private:
  std::string line_end_;
  mutable rpcrt::base::Mutex mutex_;  // the logger's lock does not cover readers
  std::vector<std::string> records_ GUARDED_BY(mutex_);
};

}  // namespace logging::receiver
