// Object identifiers of the security mechanisms, DER-encoded with tag and length, as
// Mechanism::Oid() returns them and as they travel in a negotiation token.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace rpcrt::security::oids {

// 1.3.6.1.5.5.2
inline constexpr std::array<uint8_t, 8> kSpnego = {0x06, 0x06, 0x2b, 0x06, 0x01, 0x05, 0x05, 0x02};
// 1.2.840.113554.1.2.2
inline constexpr std::array<uint8_t, 11> kKerberos = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                                      0xf7, 0x12, 0x01, 0x02, 0x02};
// 1.2.840.48018.1.2.2: the mistyped Kerberos OID that Windows sends first; it means Kerberos.
inline constexpr std::array<uint8_t, 11> kKerberosMicrosoft = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x82,
                                                               0xf7, 0x12, 0x01, 0x02, 0x02};
// 1.3.6.1.4.1.311.2.2.10
inline constexpr std::array<uint8_t, 12> kNtlm = {0x06, 0x0a, 0x2b, 0x06, 0x01, 0x04,
                                                  0x01, 0x82, 0x37, 0x02, 0x02, 0x0a};

inline bool Equal(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace rpcrt::security::oids
