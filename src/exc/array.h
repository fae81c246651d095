// A small owned byte array whose element access is checked against its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace exc {

class array_t {
 public:
  array_t() = default;
  explicit array_t(size_t size) : bytes_(size, 0) {}
  explicit array_t(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t size() const { return bytes_.size(); }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }

  // The address of element `index`; exc::runtime_exc_t "Out of the array bound. ..." when
  // index >= size().
  uint8_t* check_array_index(size_t index);
  const uint8_t* check_array_index(size_t index) const;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace exc
