// Helpers shared by the message tests: byte vectors from literals.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

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

}  // namespace io::message::testing
