#include "io/message/serialization_stream.h"

#include <cstring>
#include <limits>

#include "io/message/message_error.h"

namespace io::message {

CSerializationStream::CSerializationStream(buffer_t buffer, uint32_t used)
    : buffer_(std::move(buffer)) {
  if (!buffer_ || buffer_->empty()) {
    RaiseError("CSerializationStream::CSerializationStream(): Incorrect parameter <data: {null}>");
  }
  if (buffer_->size() > std::numeric_limits<uint32_t>::max() || used > buffer_->size()) {
    RaiseError("CSerializationStream::CSerializationStream(): Incorrect parameter <size>");
  }
  capacity_ = static_cast<uint32_t>(buffer_->size());
  used_ = used;
}

void CSerializationStream::Write(const void* data, uint32_t size) {
  if (size == 0) return;
  if (size > capacity_ - position_) {
    RaiseError("CSerializationStream::Write(): Failed to write into buffer, not enough space");
  }
  std::memcpy(buffer_->data() + position_, data, size);
  position_ += size;
  if (position_ > used_) used_ = position_;
}

void CSerializationStream::Read(void* data, uint32_t size) {
  if (size == 0) return;
  const auto span = ReadSpan(size);
  std::memcpy(data, span.data(), size);
}

std::span<const uint8_t> CSerializationStream::ReadSpan(uint32_t size) {
  if (size > used_ - position_) {
    RaiseError("CSerializationStream::Read(): Failed to read from buffer, not enough data");
  }
  const std::span<const uint8_t> span(buffer_->data() + position_, size);
  position_ += size;
  return span;
}

}  // namespace io::message
