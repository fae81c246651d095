// Little-endian encoding of fixed-size numbers, the byte order of every number in a message.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace io::message {

template <class T>
concept WireNumber = std::is_arithmetic_v<T> && !std::is_same_v<T, bool>;

template <WireNumber T>
void StoreLittleEndian(uint8_t* out, T value) {
  using U = std::conditional_t<
      sizeof(T) == 1, uint8_t,
      std::conditional_t<sizeof(T) == 2, uint16_t,
                         std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
  static_assert(sizeof(U) == sizeof(T));
  const U bits = std::bit_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

template <WireNumber T>
T LoadLittleEndian(const uint8_t* in) {
  using U = std::conditional_t<
      sizeof(T) == 1, uint8_t,
      std::conditional_t<sizeof(T) == 2, uint16_t,
                         std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
  U bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<U>(static_cast<U>(in[i]) << (8 * i));
  return std::bit_cast<T>(bits);
}

}  // namespace io::message
