// Byte streams that messages are written to and read from.
//
// A stream moves as many bytes as it can and says how many; a short count is not an error
// by itself, so callers that need an exact amount check the count they got back.
#pragma once

#include <cstdint>

namespace io {

class IOutputStream {
 public:
  virtual ~IOutputStream() = default;
  // Writes up to `size` bytes from `data`; returns the count written.
  virtual uint64_t Write(const void* data, uint64_t size) = 0;
};

class IInputStream {
 public:
  virtual ~IInputStream() = default;
  // Reads up to `size` bytes into `data`; returns the count read, 0 at the end of the data.
  virtual uint64_t Read(void* data, uint64_t size) = 0;
};

}  // namespace io
