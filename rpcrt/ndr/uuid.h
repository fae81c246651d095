// UUIDs as DCE/RPC carries them: three integers in the sender's byte order and eight octets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rpcrt/ndr/byte_order.h"

namespace rpcrt {

struct Uuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  // Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (either case, no braces); nullopt if malformed.
  static constexpr std::optional<Uuid> Parse(std::string_view text);

  // Lower-case 8-4-4-4-12 form.
  std::string ToString() const;

  bool IsNil() const { return *this == Uuid{}; }
  friend constexpr bool operator==(const Uuid&, const Uuid&) = default;
};

// A UUID constant from a literal; a malformed literal fails to compile when used as constexpr.
constexpr Uuid MakeUuid(std::string_view text) {
  auto parsed = Uuid::Parse(text);
  if (!parsed) throw "malformed UUID literal";
  return *parsed;
}

constexpr std::optional<Uuid> Uuid::Parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  uint8_t octets[16] = {};
  size_t pos = 0;
  for (size_t i = 0; i < 16; ++i) {
    if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
      if (text[pos] != '-') return std::nullopt;
      ++pos;
    }
    int hi = hex(text[pos]);
    int lo = hex(text[pos + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    octets[i] = static_cast<uint8_t>(hi << 4 | lo);
    pos += 2;
  }
  Uuid u;
  const std::span<const uint8_t> bytes = octets;
  u.data1 = LoadBe<uint32_t>(bytes);
  u.data2 = LoadBe<uint16_t>(bytes.subspan(4));
  u.data3 = LoadBe<uint16_t>(bytes.subspan(6));
  for (size_t i = 0; i < 8; ++i) u.data4[i] = octets[8 + i];
  return u;
}

}  // namespace rpcrt
