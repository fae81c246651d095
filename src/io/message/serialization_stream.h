// A cursor over a byte buffer of fixed capacity, for building or parsing a message body.
//
// Writes go at the position and extend the used count; reads stop at the used count.
// Neither ever moves past its limit: an overrun raises and leaves the cursor where it was.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "io/message/little_endian.h"

namespace io::message {

class CSerializationStream {
 public:
  using buffer_t = boost::shared_ptr<std::vector<uint8_t>>;

  // The capacity is the buffer's size; `used` bytes of it already hold data (0 to build,
  // the whole buffer to parse). A null or empty buffer raises.
  explicit CSerializationStream(buffer_t buffer, uint32_t used = 0);

  void Write(const void* data, uint32_t size);
  void Read(void* data, uint32_t size);
  // The next `size` bytes, without copying; valid while the buffer lives.
  std::span<const uint8_t> ReadSpan(uint32_t size);

  template <WireNumber T>
  void WriteValue(T value) {
    uint8_t bytes[sizeof(T)];
    StoreLittleEndian(bytes, value);
    Write(bytes, sizeof(T));
  }

  template <WireNumber T>
  T ReadValue() {
    return LoadLittleEndian<T>(ReadSpan(sizeof(T)).data());
  }

  const buffer_t& Buffer() const { return buffer_; }
  uint32_t Position() const { return position_; }
  uint32_t Used() const { return used_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t Remaining() const { return used_ - position_; }

 private:
  buffer_t buffer_;
  uint32_t position_ = 0;
  uint32_t used_ = 0;
  uint32_t capacity_ = 0;
};

}  // namespace io::message
