// Unsigned integers of 16, 32 and 64 bits read from and written to bytes in either order.
//
// The wire formats mix orders (NDR in the sender's order, tower ports and UUID text in
// network order, NTLM and saved records little-endian); every place that turns bytes into
// numbers goes through here. A span too short for the value is a caller's bug and throws
// std::out_of_range rather than touching memory beyond it.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace rpcrt {

template <typename T>
concept WireInteger =
    std::same_as<T, uint16_t> || std::same_as<T, uint32_t> || std::same_as<T, uint64_t>;

namespace byte_order_detail {

constexpr void RequireSize(size_t have, size_t want) {
  if (have < want) throw std::out_of_range("byte span too short for the value");
}

}  // namespace byte_order_detail

template <WireInteger T>
constexpr T Load(std::span<const uint8_t> bytes, bool big_endian) {
  byte_order_detail::RequireSize(bytes.size(), sizeof(T));
  T v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    const size_t at = big_endian ? i : sizeof(T) - 1 - i;
    v = static_cast<T>(v << 8 | bytes[at]);
  }
  return v;
}

template <WireInteger T>
constexpr T LoadLe(std::span<const uint8_t> bytes) {
  return Load<T>(bytes, false);
}

template <WireInteger T>
constexpr T LoadBe(std::span<const uint8_t> bytes) {
  return Load<T>(bytes, true);
}

template <WireInteger T>
constexpr void Store(std::span<uint8_t> bytes, T v, bool big_endian) {
  byte_order_detail::RequireSize(bytes.size(), sizeof(T));
  for (size_t i = 0; i < sizeof(T); ++i) {
    const size_t at = big_endian ? sizeof(T) - 1 - i : i;
    bytes[at] = static_cast<uint8_t>(v >> (8 * i));
  }
}

template <WireInteger T>
constexpr void StoreLe(std::span<uint8_t> bytes, T v) {
  Store<T>(bytes, v, false);
}

template <WireInteger T>
constexpr void StoreBe(std::span<uint8_t> bytes, T v) {
  Store<T>(bytes, v, true);
}

// Appends the value's bytes to a growing buffer.
template <WireInteger T>
void Append(std::vector<uint8_t>& out, T v, bool big_endian) {
  uint8_t bytes[sizeof(T)];
  Store<T>(bytes, v, big_endian);
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <WireInteger T>
void AppendLe(std::vector<uint8_t>& out, T v) {
  Append<T>(out, v, false);
}

template <WireInteger T>
void AppendBe(std::vector<uint8_t>& out, T v) {
  Append<T>(out, v, true);
}

}  // namespace rpcrt
