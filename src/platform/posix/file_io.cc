#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int64_t ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
  return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}

int OpenAppendOnly(const std::string& path) {
  const int fd =
      ::open(path.c_str(),
             O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISREG(st.st_mode) ? errno : EINVAL;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

bool TryLockFile(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void UnlockFile(int fd) {
  ::flock(fd, LOCK_UN);
}

bool PathNamesFile(const std::string& path, int fd) {
  struct stat at_path {
  }, open{};
  if (::lstat(path.c_str(), &at_path) != 0 || ::fstat(fd, &open) != 0) return false;
  return at_path.st_dev == open.st_dev && at_path.st_ino == open.st_ino;
}

int64_t FileSize(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int TruncateFile(int fd, int64_t size) {
  return ::ftruncate(fd, static_cast<off_t>(size));
}

int64_t CurrentProcessId() {
  return ::getpid();
}

}  // namespace platform
