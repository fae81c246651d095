// A gzip archive (level 9) being written, on zlib. The archive is complete once closed; the
// destructor closes it and reports a failed close in the log instead of throwing.
#pragma once

#include <string>
#include <string_view>

#include <zlib.h>

namespace util {

class zip_writer_t {
 public:
  // Opens (creates) `path` for writing. Raises "Failed to open GZ archive [<path>]. Errno: <n>"
  // wrapping the cause.
  explicit zip_writer_t(std::string path);
  zip_writer_t(const zip_writer_t&) = delete;
  zip_writer_t& operator=(const zip_writer_t&) = delete;
  ~zip_writer_t();

  const std::string& path() const { return path_; }
  // The open gzip stream; null once closed.
  gzFile stream() const { return stream_; }

  // Compresses `data` into the archive. Raises exc::runtime_exc_t when zlib cannot.
  void write(std::string_view data);
  // Flushes, writes the gzip trailer and closes the file. Raises exc::runtime_exc_t
  // "Error code: <zlib result>" when that fails; the writer is closed either way.
  void close();

 private:
  std::string path_;
  gzFile stream_ = nullptr;
};

}  // namespace util
