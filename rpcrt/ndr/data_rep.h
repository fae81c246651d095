// The data representation label (drep) that every PDU carries: how the sender encodes
// integers, characters and floating point numbers.
#pragma once

#include <array>
#include <cstdint>

namespace rpcrt {

struct DataRep {
  // Octet 0: integer order in bits 4-7 (1 = little endian), character set in bits 0-3
  // (0 = ASCII); octet 1: floating point format (0 = IEEE); octets 2-3 reserved.
  std::array<uint8_t, 4> octets{0x10, 0, 0, 0};

  bool little_endian() const { return (octets[0] & 0x10) != 0; }
  friend bool operator==(const DataRep&, const DataRep&) = default;
};

// What we always send: little-endian, ASCII, IEEE.
inline constexpr DataRep kLocalDataRep{};
inline constexpr DataRep kBigEndianDataRep{{0x00, 0, 0, 0}};

}  // namespace rpcrt
