// File descriptor operations the log file needs that differ between systems: positioned
// reads, a safe open, an advisory lock shared by every process that writes the file, and
// the checks that tell whether the path still names the open file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Reads up to `size` bytes at `offset` without moving the descriptor's position for
// writes (pread): the count read, 0 at the end, -1 with errno set on failure.
int64_t ReadAt(int fd, void* buffer, size_t size, int64_t offset);

// Opens `path` for reading and appending, creating it readable by its owner only; a link
// at the last component is not followed, and anything but a regular file is refused
// without blocking (a FIFO planted at the path). The descriptor, or -1 with errno set.
int OpenAppendOnly(const std::string& path);

// Takes the file's exclusive lock, shared with every process, without waiting: true when
// taken; false with errno EWOULDBLOCK while another holds it, or another errno on failure.
bool TryLockFile(int fd);
void UnlockFile(int fd);

// Whether `path` names the file open as `fd`, and not one put in its place, or nothing.
bool PathNamesFile(const std::string& path, int fd);

// The size of the open file, or -1 with errno set.
int64_t FileSize(int fd);

// Cuts the open file to `size` bytes: 0, or -1 with errno set.
int TruncateFile(int fd, int64_t size);

// The calling process, to tell a forked child from its parent.
int64_t CurrentProcessId();

}  // namespace platform
