#include "logging/receiver/file_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <string_view>
#include <vector>

#include "exc/exceptions.h"
#include "exc/format_message.h"
#include "platform/file_io.h"
#include "util/zip_writer.h"

namespace logging::receiver {
namespace {

[[noreturn]] void raise(std::string_view what, const std::string& path, int error) {
  const std::string code = std::to_string(error);
  const std::string descr = std::strerror(error);
  const std::string_view args[] = {path, code, descr};
  exc::runtime_exc_t e(std::string(what) +
                       exc::format_simple(" path: [%1], code: [%2], descr: [%3]", args));
  e.set_error_code(static_cast<uint32_t>(error));
  throw e;
}

}  // namespace

CFileLog::CFileLog(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) raise("Cannot open log file.", path_, errno);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int error = errno;
    ::close(fd_);
    raise("Cannot query log file.", path_, error);
  }
  size_ = static_cast<uint64_t>(st.st_size);
}

CFileLog::~CFileLog() {
  if (fd_ >= 0) ::close(fd_);
}

void CFileLog::write(const std::string& record) {
  std::string_view rest = record;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd_, rest.data(), rest.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      raise("Cannot write to log file.", path_, errno);
    }
    size_ += static_cast<uint64_t>(written);
    rest.remove_prefix(static_cast<size_t>(written));
  }
}

void CFileLog::take_archive(boost::shared_ptr<util::zip_writer_t> archive) {
  try {
    std::vector<char> chunk(64 * 1024);
    int64_t offset = 0;
    while (true) {
      const int64_t got = platform::ReadAt(fd_, chunk.data(), chunk.size(), offset);
      if (got < 0) {
        if (errno == EINTR) continue;
        raise("Cannot read log file.", path_, errno);
      }
      if (got == 0) break;
      archive->write(std::string_view(chunk.data(), static_cast<size_t>(got)));
      offset += got;
    }
    // The file is emptied only once its content is safe in a complete archive.
    archive->close();
  } catch (const std::exception&) {
    ::unlink(archive->path().c_str());
    throw;
  }
  if (::ftruncate(fd_, 0) != 0) raise("Cannot empty log file.", path_, errno);
  size_ = 0;
}

}  // namespace logging::receiver
