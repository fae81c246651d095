// Helpers shared by the message tests: byte vectors from literals and streams over them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "io/memory_stream.h"

namespace io::message::testing {

using bytes_t = std::vector<uint8_t>;

inline bytes_t Bytes(std::initializer_list<int> values) {
  bytes_t out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

inline bytes_t Concat(std::initializer_list<bytes_t> parts) {
  bytes_t out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Hands out at most `step` bytes per read, as a socket might.
class CTricklingInputStream final : public IInputStream {
 public:
  CTricklingInputStream(const bytes_t& data, uint64_t step) : data_(data), step_(step) {}
  uint64_t Read(void* out, uint64_t size) override {
    return inner_.Read(out, size < step_ ? size : step_);
  }
  uint64_t Position() const { return inner_.Position(); }

 private:
  const bytes_t& data_;
  CMemoryInputStream inner_{data_};
  uint64_t step_;
};

}  // namespace io::message::testing
