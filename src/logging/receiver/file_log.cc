#include "logging/receiver/file_log.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <string_view>
#include <thread>
#include <vector>

#include "exc/exceptions.h"
#include "exc/format_message.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/file_io.h"
#include "util/zip_writer.h"

namespace logging::receiver {
namespace {

template <class Exception = exc::runtime_exc_t>
[[noreturn]] void raise(std::string_view what, const std::string& path, int error) {
  const std::string code = std::to_string(error);
  const std::string descr = std::strerror(error);
  const std::string_view args[] = {path, code, descr};
  Exception e(std::string(what) + exc::format_simple(" path: [%1], code: [%2], descr: [%3]", args));
  e.set_error_code(static_cast<uint32_t>(error));
  throw e;
}

// Takes the file's lock, giving up after kLockWaitMs: a writer that never lets go must not
// stop this process's logging for good. Holders keep it for one append, or for one aging pass.
bool lock_with_deadline(int fd) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(CFileLog::kLockWaitMs);
  auto pause = std::chrono::microseconds(20);
  for (int tries = 0;; ++tries) {
    if (platform::TryLockFile(fd)) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (clock::now() >= deadline) {
      errno = ETIMEDOUT;
      return false;
    }
    // Appends hold the lock for microseconds: yield first, then back off towards 1 ms.
    if (tries < 50) {
      sched_yield();
    } else {
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(1000));
    }
  }
}

}  // namespace

// Holds the file's lock for its lifetime.
class CFileLog::lock_t {
 public:
  explicit lock_t(CFileLog& file) : file_(file) { file_.lock(); }
  ~lock_t() { file_.unlock(); }
  lock_t(const lock_t&) = delete;
  lock_t& operator=(const lock_t&) = delete;

 private:
  CFileLog& file_;
};

CFileLog::CFileLog(std::string path, uint64_t hard_limit)
    : path_(std::move(path)), hard_limit_(hard_limit) {
  try {
    open_file(true);
  } catch (const std::exception&) {
    // Reported on the debugger output; records try again.
  }
}

CFileLog::~CFileLog() {
  close_file();
}

void CFileLog::open_file(bool now) {
  if (fd_ >= 0) return;
  if (failing_ && !now && GetTickCount() - failed_at_ < kReopenIntervalMs) {
    raise("Log file is not open.", path_, failed_errno_);
  }
  // No link is followed at the last component, and a FIFO planted at the path must not
  // block the open.
  const int fd = platform::OpenAppendOnly(path_);
  const int error = errno;
  if (fd < 0) {
    if (!failing_) {
      const std::string code = std::to_string(error);
      const std::string_view args[] = {path_, code, std::strerror(error)};
      OutputDebugStringA(
          exc::format_simple("Cannot open the log file [%1]: %3 (%2). Trying again once a "
                             "second; records are lost meanwhile.\n",
                             args)
              .c_str());
    }
    failing_ = true;
    failed_at_ = GetTickCount();
    failed_errno_ = error;
    raise("Cannot open log file.", path_, error);
  }
  fd_ = fd;
  opened_by_ = platform::CurrentProcessId();
  failing_ = false;
}

void CFileLog::close_file() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool CFileLog::path_names_open_file() const {
  return platform::PathNamesFile(path_, fd_);
}

void CFileLog::lock() {
  if (lock_depth_ > 0) {
    ++lock_depth_;
    return;
  }
  // A forked child shares the parent's open file, and with it the parent's lock: it needs a
  // file of its own to be kept apart from the parent.
  if (fd_ >= 0 && opened_by_ != platform::CurrentProcessId()) close_file();
  open_file(false);
  // The path may have been replaced while this process held the file open; what is written
  // after that belongs in the file the path names now. Two rounds cover a replacement that
  // races with the reopen; a path replaced faster than that is not worth chasing.
  for (int round = 0;; ++round) {
    if (!lock_with_deadline(fd_)) raise("Cannot lock log file.", path_, errno);
    if (path_names_open_file() || round == 2) break;
    close_file();
    open_file(true);
  }
  lock_depth_ = 1;
}

void CFileLog::unlock() noexcept {
  if (--lock_depth_ == 0 && fd_ >= 0) platform::UnlockFile(fd_);
}

std::shared_ptr<void> CFileLog::hold_exclusive() {
  return std::make_shared<lock_t>(*this);
}

uint64_t CFileLog::size() const {
  const int64_t size = fd_ < 0 ? -1 : platform::FileSize(fd_);
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

void CFileLog::write(const std::string& record) {
  lock_t lock(*this);
  const uint64_t start = size();
  if (hard_limit_ != 0 && (record.size() > hard_limit_ || start > hard_limit_ - record.size())) {
    raise<full_exc_t>("Log file is at its size bound.", path_, EFBIG);
  }
  std::string_view rest = record;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd_, rest.data(), rest.size());
    if (written > 0) {
      rest.remove_prefix(static_cast<size_t>(written));
      continue;
    }
    const int error = written < 0 ? errno : ENOSPC;
    if (error == EINTR) continue;
    // Nobody else appends while the lock is held, so what this record left is at the end.
    if (start != size() && platform::TruncateFile(fd_, static_cast<int64_t>(start)) != 0) {
      raise("Cannot remove a partly written record from log file.", path_, errno);
    }
    raise("Cannot write to log file.", path_, error);
  }
}

void CFileLog::take_archive(boost::shared_ptr<util::zip_writer_t> archive) {
  lock_t lock(*this);
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
  if (platform::TruncateFile(fd_, 0) != 0) raise("Cannot empty log file.", path_, errno);
}

}  // namespace logging::receiver
