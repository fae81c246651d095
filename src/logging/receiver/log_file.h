// What a logger hands its formatted records to. A receiver is only ever called with its
// logger's lock held, so it needs no lock of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "exc/exceptions.h"

namespace util {
class zip_writer_t;
}

namespace logging::receiver {

// Raised by write() for a record that does not fit under the receiver's size bound: the
// logger then runs the size check at once and offers the record again.
class full_exc_t : public exc::runtime_exc_t {
 public:
  using runtime_exc_t::runtime_exc_t;
};

class log_file_t {
 public:
  virtual ~log_file_t() = default;

  // Takes one formatted record: one or more lines, each already terminated by line_end().
  virtual void write(const std::string& record) = 0;
  // The receiver's file, empty when it has none.
  virtual std::string path() const = 0;
  // The terminator the logger puts after every line it sends here.
  virtual std::string line_end() const = 0;
  // Current size of the receiver's file in bytes; the size check ages the file at its limit.
  virtual uint64_t size() const = 0;
  // Receives the archive an aging pass opened for the file's current content. When this
  // returns, the receiver must accept records again: the logger writes the resume header next.
  virtual void take_archive(boost::shared_ptr<util::zip_writer_t> archive) = 0;
  // Keeps every other writer of the receiver's file, in this process or another, waiting
  // until the result is released; the size check holds it from reading the size to handing
  // over the archive. Null when there is no file to share. Raises when it cannot be had.
  virtual std::shared_ptr<void> hold_exclusive() { return nullptr; }
};

}  // namespace logging::receiver
