#include "common/win_handle.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>

#include "exc/exceptions.h"
#include "logging/channels.h"
#include "platform/last_error.h"

namespace common {

HANDLE win_handle_t::from_fd(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

int win_handle_t::to_fd(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(handle));
}

HANDLE* win_handle_t::operator&() {
  if (valid()) throw exc::runtime_exc_t("Handle object is already initialized.");
  return &handle_;
}

BOOL CloseHandle(HANDLE handle) {
  if (::close(win_handle_t::to_fd(handle)) == 0) return TRUE;
  // EINTR on Linux still releases the descriptor; only a bad descriptor means nothing closed.
  SetLastError(errno == EBADF ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
  return errno == EINTR ? TRUE : FALSE;
}

void win_handle_t::close() noexcept {
  if (handle_ == nullptr) return;
  if (valid() && !CloseHandle(handle_)) {
    try {
      logging::channels::Default().Error(
          exc::win_sys_exc_t("Unable to close win handle", GetLastError()));
    } catch (const std::exception&) {
      // Logging never throws; building the exception might, and a close must not.
    }
  }
  handle_ = nullptr;
}

}  // namespace common
