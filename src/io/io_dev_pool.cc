#include "io/io_dev_pool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"

namespace io {

dev_handle_t::~dev_handle_t() {
  if (fd_ >= 0) ::close(fd_);
}

boost::shared_ptr<dev_handle_t> io_dev_pool_t::Open(const std::string& path, int flags) {
  rpcrt::base::MutexLock lock(mutex_);
  auto& slot = handles_[{path, flags}];
  if (auto held = slot.lock()) return held;

  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    handles_.erase({path, flags});
    throw exc::runtime_exc_t("Failed to open device [%1]: %2", path, std::strerror(error));
  }
  auto handle = boost::make_shared<dev_handle_t>(fd);
  slot = handle;
  // Forget handles whose users are gone, so the map tracks only live devices.
  std::erase_if(handles_, [](const auto& entry) { return entry.second.expired(); });
  return handle;
}

size_t io_dev_pool_t::Size() const {
  rpcrt::base::MutexLock lock(mutex_);
  size_t live = 0;
  for (const auto& [key, handle] : handles_) live += handle.expired() ? 0 : 1;
  return live;
}

}  // namespace io
