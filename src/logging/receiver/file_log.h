// A receiver that appends records to a log file which other processes may share. Each record
// is appended whole under an advisory lock on the file, or not at all; the aging pass holds
// the same lock. When the path no longer names the open file (removed or renamed from
// outside), or when it is used in a forked child, the receiver opens the path again. An
// unwritable path is reported once on the debugger output and tried again at most once a
// second; records refused meanwhile are lost and the logger counts them.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "logging/receiver/log_file.h"
#include "platform/win_types.h"

namespace logging::receiver {

class CFileLog : public log_file_t {
 public:
  // Time between two attempts to open a path that could not be opened.
  static constexpr DWORD kReopenIntervalMs = 1000;
  // Longest wait for another writer's lock before a record is refused.
  static constexpr int kLockWaitMs = 2000;

  // Opens (creates, readable by its owner only) `path` for appending; a symbolic link or
  // anything but a regular file at `path` is refused. A record that would take the file past
  // `hard_limit` bytes is refused (0: no bound). Never throws: a path that cannot be opened
  // now is tried again when records come.
  explicit CFileLog(std::string path, uint64_t hard_limit = 0);
  CFileLog(const CFileLog&) = delete;
  CFileLog& operator=(const CFileLog&) = delete;
  ~CFileLog() override;

  // Raises exc::runtime_exc_t when the record cannot be written whole; nothing of it then
  // stays in the file.
  void write(const std::string& record) override;
  std::string path() const override { return path_; }
  // Lines end as in the records kept before a receiver was attached, so a file never mixes
  // two terminators.
  std::string line_end() const override { return "\r\n"; }
  // The size of the open file as the file system has it now; 0 while it is not open.
  uint64_t size() const override;
  // Compresses the whole file into `archive`, closes it, then empties the file, all under the
  // file's lock. On failure the file keeps its content and the unfinished archive is removed.
  void take_archive(boost::shared_ptr<util::zip_writer_t> archive) override;
  std::shared_ptr<void> hold_exclusive() override;

 private:
  class lock_t;

  void lock();
  void unlock() noexcept;
  // Opens the path unless an attempt failed less than kReopenIntervalMs ago; raises when the
  // file is not open afterwards.
  void open_file(bool now);
  void close_file() noexcept;
  bool path_names_open_file() const;

  std::string path_;
  uint64_t hard_limit_;
  int fd_ = -1;
  int64_t opened_by_ = 0;
  int lock_depth_ = 0;    // the logger may re-enter while the aging pass holds the lock
  bool failing_ = false;  // an open failed and was reported; cleared when the file opens
  DWORD failed_at_ = 0;
  int failed_errno_ = 0;
};

}  // namespace logging::receiver
