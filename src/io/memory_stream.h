// Byte streams over memory: an output stream that collects what is written and an input
// stream that hands out a fixed block of bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "io/stream.h"

namespace io {

class CMemoryOutputStream final : public IOutputStream {
 public:
  CMemoryOutputStream() = default;

  // With a limit, writes stop at `limit` bytes in total (a full device), returning short counts.
  explicit CMemoryOutputStream(uint64_t limit) : limit_(limit) {}

  uint64_t Write(const void* data, uint64_t size) override;

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t> Take() { return std::move(data_); }
  void Clear() { data_.clear(); }

 private:
  std::vector<uint8_t> data_;
  uint64_t limit_ = UINT64_MAX;
};

// Reads from a view of bytes that the caller keeps alive for the stream's lifetime.
class CMemoryInputStream final : public IInputStream {
 public:
  explicit CMemoryInputStream(std::span<const uint8_t> data) : data_(data) {}

  uint64_t Read(void* data, uint64_t size) override;

  uint64_t Position() const { return pos_; }
  uint64_t Remaining() const { return data_.size() - pos_; }

 private:
  std::span<const uint8_t> data_;
  uint64_t pos_ = 0;
};

}  // namespace io
