#include "platform/file_io.h"

#include <unistd.h>

namespace platform {

int64_t ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
  return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}

}  // namespace platform
