// File descriptor operations that POSIX has and the Windows C run time lacks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Reads up to `size` bytes at `offset` without moving the descriptor's position for
// writes (pread): the count read, 0 at the end, -1 with errno set on failure.
int64_t ReadAt(int fd, void* buffer, size_t size, int64_t offset);

}  // namespace platform
