#include "util/zip_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>

#include "exc/exceptions.h"
#include "exc/format_message.h"
#include "exc/internal_error_log.h"
#include "exc/rethrow.h"
#include "platform/last_error.h"

namespace util {

zip_writer_t::zip_writer_t(std::string path) : path_(std::move(path)) {
  int open_errno = 0;
  int fd = -1;
  try {
    // No truncation: the aging pass has moved any earlier archive of this name away.
    // Readable by its owner only, like the log it holds; a link at the name is not followed.
    fd = ::open(path_.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      open_errno = errno;
      throw exc::runtime_exc_t("Failed to open gzip file (error code: %2) : %1", path_, open_errno);
    }
    stream_ = gzdopen(fd, "wb9");
    if (stream_ == nullptr) {
      // zlib fails here only when it cannot allocate its state.
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      throw exc::win_sys_exc_t(GetLastError());
    }
  } catch (const std::exception& e) {
    if (fd >= 0 && stream_ == nullptr) ::close(fd);
    exc::rethrow_with_context("Failed to open GZ archive [%1]. Errno: %2", path_, open_errno, e);
  }
}

zip_writer_t::~zip_writer_t() {
  if (stream_ == nullptr) return;
  try {
    close();
  } catch (const std::exception& e) {
    exc::log_error_text(exc::format_message("Cannot close GZ archive [%1].", path_));
    exc::log_error_text(e.what());
  }
}

void zip_writer_t::write(std::string_view data) {
  if (stream_ == nullptr) {
    throw exc::runtime_exc_t("GZ archive [%1] is already closed.", path_);
  }
  while (!data.empty()) {
    // gzwrite takes an unsigned count and returns an int: write in pieces an int can report.
    const size_t piece = std::min<size_t>(data.size(), 1u << 30);
    const int written = gzwrite(stream_, data.data(), static_cast<unsigned>(piece));
    if (written <= 0) {
      int code = 0;
      const char* text = gzerror(stream_, &code);
      throw exc::runtime_exc_t("Cannot write to GZ archive [%1]. Error code: %2 (%3)", path_, code,
                               text != nullptr ? text : "");
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
}

void zip_writer_t::close() {
  if (stream_ == nullptr) return;
  const int result = gzclose(std::exchange(stream_, nullptr));
  if (result != Z_OK) throw exc::runtime_exc_t("Error code: %1", result);
}

}  // namespace util
