// An owned kernel handle. On POSIX the handle is a file descriptor (HANDLE holds its number);
// 0 means none, and INVALID_HANDLE_VALUE is held without being valid: it is never closed.
#pragma once

#include "platform/win_types.h"

namespace common {

class win_handle_t {
 public:
  win_handle_t() = default;
  explicit win_handle_t(HANDLE handle) : handle_(handle) {}
  win_handle_t(const win_handle_t&) = delete;
  win_handle_t& operator=(const win_handle_t&) = delete;
  ~win_handle_t() { close(); }

  // The handle of descriptor `fd`, and back.
  static HANDLE from_fd(int fd);
  static int to_fd(HANDLE handle);

  // The address of the held handle, for a system call to fill. Raises exc::runtime_exc_t
  // when a valid handle is held.
  HANDLE* operator&();
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

  // Closes a valid handle and returns to empty. A failed close is logged, never raised.
  void close() noexcept;

 private:
  HANDLE handle_ = nullptr;
};

// Closes a handle with the CloseHandle contract: FALSE and the last error set on failure.
BOOL CloseHandle(HANDLE handle);

}  // namespace common
