#include "platform/secure_memory.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform {

void SecureWipe(void* data, size_t size) noexcept {
  if (data != nullptr && size > 0) explicit_bzero(data, size);
}

bool FillRandom(void* data, size_t size) noexcept {
  auto* out = static_cast<uint8_t*>(data);
  while (size > 0) {
    const ssize_t got = ::getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace platform
