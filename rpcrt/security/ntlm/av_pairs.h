// The target information list (AV pairs) of CHALLENGE and of the NTLMv2 client blob.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rpcrt::security::ntlm {

enum AvId : uint16_t {
  kAvEol = 0,
  kAvNbComputerName = 1,
  kAvNbDomainName = 2,
  kAvDnsComputerName = 3,
  kAvDnsDomainName = 4,
  kAvDnsTreeName = 5,
  kAvFlags = 6,
  kAvTimestamp = 7,
  kAvSingleHost = 8,
  kAvTargetName = 9,
  kAvChannelBindings = 10,
};

// MsvAvFlags bit: the AUTHENTICATE message carries a MIC.
inline constexpr uint32_t kAvFlagMicPresent = 0x2;

struct AvPair {
  uint16_t id;
  std::vector<uint8_t> value;
};

class AvPairs {
 public:
  // Parses a list that must end with MsvAvEOL; bytes after the terminator are ignored (the
  // client blob pads with zeros). Throws RpcError(kSecPkgError) on any bad length.
  static AvPairs Parse(std::span<const uint8_t> bytes);

  const std::vector<AvPair>& pairs() const { return pairs_; }
  const AvPair* Find(uint16_t id) const;
  std::optional<uint32_t> Flags() const;      // MsvAvFlags, checked to be 4 bytes
  std::optional<uint64_t> Timestamp() const;  // MsvAvTimestamp, checked to be 8 bytes

  // Replaces the value of `id`, or appends it.
  void Set(uint16_t id, std::vector<uint8_t> value);
  void Remove(uint16_t id);

  // The encoded list with its MsvAvEOL terminator.
  std::vector<uint8_t> Encode() const;

 private:
  std::vector<AvPair> pairs_;
};

}  // namespace rpcrt::security::ntlm
