#include "platform/secure_memory.h"

#include "platform/win/windows_api.h"

namespace platform {

void SecureWipe(void* data, size_t size) noexcept {
  if (data != nullptr && size > 0) win32::SecureZeroMemory(data, size);
}

bool FillRandom(void* data, size_t size) noexcept {
  auto* out = static_cast<unsigned char*>(data);
  while (size > 0) {
    const auto chunk = static_cast<win32::ULONG>(size > 0x10000000 ? 0x10000000 : size);
    // A negative status is a failure.
    if (win32::BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
      return false;
    }
    out += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace platform
