#include "io/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace io {

uint64_t CMemoryOutputStream::Write(const void* data, uint64_t size) {
  const uint64_t room = limit_ - std::min<uint64_t>(limit_, data_.size());
  const uint64_t n = std::min(size, room);
  if (n == 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  data_.insert(data_.end(), bytes, bytes + n);
  return n;
}

uint64_t CMemoryInputStream::Read(void* data, uint64_t size) {
  const uint64_t n = std::min<uint64_t>(size, data_.size() - pos_);
  if (n == 0) return 0;
  std::memcpy(data, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

}  // namespace io
