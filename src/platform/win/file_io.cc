#include "platform/file_io.h"

#include <io.h>

#include <cerrno>

#include "platform/win/windows_api.h"

namespace platform {

int64_t ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
  const auto handle = reinterpret_cast<win32::HANDLE>(_get_osfhandle(fd));
  if (handle == reinterpret_cast<win32::HANDLE>(intptr_t{-1})) {  // INVALID_HANDLE_VALUE
    errno = EBADF;
    return -1;
  }
  // The descriptors the library reads this way are opened for appending, so moving the
  // handle's position here does not move where the next write lands.
  win32::OVERLAPPED at{};
  at.Offset = static_cast<win32::DWORD>(offset);
  at.OffsetHigh = static_cast<win32::DWORD>(static_cast<uint64_t>(offset) >> 32);
  win32::DWORD got = 0;
  const auto wanted = static_cast<win32::DWORD>(size > 0x40000000 ? 0x40000000 : size);
  if (!win32::ReadFile(handle, buffer, wanted, &got, &at)) {
    if (win32::GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = EIO;
    return -1;
  }
  return got;
}

}  // namespace platform
