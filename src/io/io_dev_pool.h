// io_dev_pool_t: open device and file handles shared by path, so that parts of the library
// that use the same device reuse one descriptor instead of opening it again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "rpcrt/base/mutex.h"

namespace io {

// One open descriptor, closed when the last reference goes.
class dev_handle_t {
 public:
  explicit dev_handle_t(int fd) : fd_(fd) {}
  ~dev_handle_t();
  dev_handle_t(const dev_handle_t&) = delete;
  dev_handle_t& operator=(const dev_handle_t&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_;
};

class io_dev_pool_t {
 public:
  // The open handle for (path, flags), opening it when no user holds one. A failed open
  // raises exc::runtime_exc_t "Failed to open device [path]: <reason>".
  boost::shared_ptr<dev_handle_t> Open(const std::string& path, int flags);
  // Handles still held by someone.
  size_t Size() const;

 private:
  mutable rpcrt::base::Mutex mutex_;
  // Weak: the pool shares handles but never keeps a device open on its own.
  std::map<std::pair<std::string, int>, boost::weak_ptr<dev_handle_t>> handles_ GUARDED_BY(mutex_);
};

}  // namespace io
