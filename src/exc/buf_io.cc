#include "exc/buf_io.h"

#include <algorithm>
#include <cstring>

#include "exc/exceptions.h"
#include "rpcrt/ndr/byte_order.h"

namespace exc {

void CBufWriter::write_bytes(const void* data, size_t size) {
  const uint64_t end = uint64_t{position_} + size;
  if (end > UINT32_MAX) {
    throw runtime_exc_t("Record too large for the buffer, position '%1', struct size '%2'.",
                        position_, size);
  }
  if (end > target_.size()) {
    const uint64_t rounded = (end + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    target_.resize(static_cast<size_t>(rounded), 0);
  }
  if (size != 0) std::memcpy(target_.data() + position_, data, size);
  position_ = static_cast<uint32_t>(end);
}

void CBufWriter::write_u32(uint32_t value) {
  uint8_t bytes[4];
  rpcrt::StoreLe<uint32_t>(bytes, value);
  write_bytes(bytes, sizeof bytes);
}

void CBufWriter::write_bool(bool value) {
  const uint8_t byte = value ? 1 : 0;
  write_bytes(&byte, 1);
}

void CBufWriter::write_text(std::string_view text) {
  if (text.size() > UINT32_MAX) {
    throw runtime_exc_t("Invalid length of the string '%1'.", text.size());
  }
  write_u32(static_cast<uint32_t>(text.size()));
  write_bytes(text.data(), text.size());
}

std::vector<uint8_t> CBufWriter::written() const {
  return std::vector<uint8_t>(target_.begin(), target_.begin() + position_);
}

const uint8_t* CBufReader::take(size_t n) {
  if (!source_) throw runtime_exc_t("CBufReader buffer not initialized.");
  // Positions are 32-bit: a source beyond 4 GiB is read only up to that limit.
  const uint64_t readable = std::min<uint64_t>(source_->size(), UINT32_MAX);
  if (uint64_t{position_} + n > readable) {
    throw runtime_exc_t(
        "Out of the buffer, buffer size '%1', struct size '%2', buffer pointer '%3'.",
        source_->size(), n, position_);
  }
  const uint8_t* bytes = source_->data() + position_;
  position_ += static_cast<uint32_t>(n);
  return bytes;
}

uint32_t CBufReader::read_u32() {
  return rpcrt::LoadLe<uint32_t>({take(4), 4});
}

bool CBufReader::read_bool() {
  return *take(1) != 0;
}

std::string CBufReader::read_text() {
  const uint32_t length = read_u32();
  if (length > max_text_length_) {
    throw runtime_exc_t("Invalid length of the string '%1'.", length);
  }
  const auto* bytes = reinterpret_cast<const char*>(take(length));
  if (length == 0) return {};
  const auto* zero = static_cast<const char*>(std::memchr(bytes, 0, length));
  return std::string(bytes, zero ? static_cast<size_t>(zero - bytes) : length);
}

}  // namespace exc
