#include "platform/file_io.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/win/windows_api.h"

namespace platform {
namespace {

win32::HANDLE OsHandle(int fd) {
  const auto handle = reinterpret_cast<win32::HANDLE>(_get_osfhandle(fd));
  if (handle == reinterpret_cast<win32::HANDLE>(intptr_t{-1}))
    errno = EBADF;  // INVALID_HANDLE_VALUE
  return handle;
}

bool Identity(win32::HANDLE handle, win32::BY_HANDLE_FILE_INFORMATION& info) {
  return handle != reinterpret_cast<win32::HANDLE>(intptr_t{-1}) &&
         win32::GetFileInformationByHandle(handle, &info);
}

}  // namespace

int64_t ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
  const win32::HANDLE handle = OsHandle(fd);
  if (handle == reinterpret_cast<win32::HANDLE>(intptr_t{-1})) return -1;
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

int OpenAppendOnly(const std::string& path) {
  // Windows has no links that an open follows unasked, and no FIFOs at file paths.
  return ::_open(path.c_str(), _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

bool TryLockFile(int fd) {
  const win32::HANDLE handle = OsHandle(fd);
  win32::OVERLAPPED whole{};
  if (win32::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 0xffffffffu,
                        0xffffffffu, &whole)) {
    return true;
  }
  errno = win32::GetLastError() == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : EIO;
  return false;
}

void UnlockFile(int fd) {
  win32::OVERLAPPED whole{};
  win32::UnlockFileEx(OsHandle(fd), 0, 0xffffffffu, 0xffffffffu, &whole);
}

bool PathNamesFile(const std::string& path, int fd) {
  const win32::HANDLE at_path =
      win32::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  win32::BY_HANDLE_FILE_INFORMATION named{}, open{};
  const bool same = Identity(at_path, named) && Identity(OsHandle(fd), open) &&
                    named.dwVolumeSerialNumber == open.dwVolumeSerialNumber &&
                    named.nFileIndexHigh == open.nFileIndexHigh &&
                    named.nFileIndexLow == open.nFileIndexLow;
  if (at_path != reinterpret_cast<win32::HANDLE>(intptr_t{-1})) win32::CloseHandle(at_path);
  return same;
}

int64_t FileSize(int fd) {
  return ::_filelengthi64(fd);
}

int TruncateFile(int fd, int64_t size) {
  return ::_chsize_s(fd, size) == 0 ? 0 : -1;
}

int64_t CurrentProcessId() {
  return static_cast<int64_t>(win32::GetCurrentProcessId());
}

}  // namespace platform
