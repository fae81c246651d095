// Writer and reader of saved exception records: 32-bit little-endian integers, one-byte
// bools and texts as a u32 length followed by the raw bytes.
//
// The reader treats its source as untrusted: every length is checked before a byte is read,
// and texts longer than the reader's limit are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <boost/shared_ptr.hpp>

namespace exc {

class CBufWriter {
 public:
  // The target grows in whole MiB steps, zero-filled; its size is therefore usually larger
  // than position().
  static constexpr uint32_t kGrowthStep = 0x100000;

  CBufWriter() = default;

  void write_bytes(const void* data, size_t size);
  void write_u32(uint32_t value);
  void write_bool(bool value);
  void write_text(std::string_view text);

  uint32_t position() const { return position_; }
  const std::vector<uint8_t>& target() const { return target_; }
  // The bytes written so far.
  std::vector<uint8_t> written() const;

 private:
  uint32_t position_ = 0;
  std::vector<uint8_t> target_;
};

class CBufReader {
 public:
  // Without a source every read throws "CBufReader buffer not initialized.".
  CBufReader() = default;
  CBufReader(uint32_t max_text_length, boost::shared_ptr<const std::vector<uint8_t>> source)
      : max_text_length_(max_text_length), source_(std::move(source)) {}

  // The next n bytes, or exc::runtime_exc_t when fewer remain.
  const uint8_t* take(size_t n);
  uint32_t read_u32();
  bool read_bool();
  // A text is cut at its first zero byte.
  std::string read_text();

  uint32_t position() const { return position_; }

 private:
  uint32_t max_text_length_ = 0;
  boost::shared_ptr<const std::vector<uint8_t>> source_;
  uint32_t position_ = 0;
};

}  // namespace exc
