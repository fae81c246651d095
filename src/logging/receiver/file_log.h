// A receiver that appends records to a log file. When the logger's size check ages the file,
// the file's content is compressed into the archive it is handed and the file starts afresh.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "logging/receiver/log_file.h"

namespace logging::receiver {

class CFileLog : public log_file_t {
 public:
  // Opens (creates) `path` for appending. Raises exc::runtime_exc_t naming the path and the
  // system error when it cannot.
  explicit CFileLog(std::string path);
  CFileLog(const CFileLog&) = delete;
  CFileLog& operator=(const CFileLog&) = delete;
  ~CFileLog() override;

  // Raises exc::runtime_exc_t when the record cannot be written whole.
  void write(const std::string& record) override;
  std::string path() const override { return path_; }
  // Lines end as in the records kept before a receiver was attached, so a file never mixes
  // two terminators.
  std::string line_end() const override { return "\r\n"; }
  uint64_t size() const override { return size_; }
  // Compresses the whole file into `archive`, closes it, then empties the file. On failure
  // the file keeps its content and the unfinished archive is removed.
  void take_archive(boost::shared_ptr<util::zip_writer_t> archive) override;

 private:
  std::string path_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace logging::receiver
