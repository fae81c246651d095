#include "rpcrt/security/ntlm/av_pairs.h"

#include <algorithm>

#include "rpcrt/security/ntlm/byte_io.h"

namespace rpcrt::security::ntlm {

AvPairs AvPairs::Parse(std::span<const uint8_t> bytes) {
  AvPairs out;
  ByteReader r(bytes);
  for (;;) {
    const uint16_t id = r.U16("AV pair id");
    const uint16_t len = r.U16("AV pair length");
    auto value = r.Bytes(len, "AV pair value");
    if (id == kAvEol) {
      if (len != 0) ThrowBadToken("AV list terminator with a value");
      return out;
    }
    if (out.Find(id) != nullptr) ThrowBadToken("AV pair repeated");
    out.pairs_.push_back(AvPair{id, std::vector<uint8_t>(value.begin(), value.end())});
  }
}

const AvPair* AvPairs::Find(uint16_t id) const {
  auto it =
      std::find_if(pairs_.begin(), pairs_.end(), [id](const AvPair& p) { return p.id == id; });
  return it == pairs_.end() ? nullptr : &*it;
}

std::optional<uint32_t> AvPairs::Flags() const {
  const AvPair* p = Find(kAvFlags);
  if (p == nullptr) return std::nullopt;
  if (p->value.size() != 4) ThrowBadToken("MsvAvFlags is not 4 bytes");
  return LoadU32(p->value.data());
}

std::optional<uint64_t> AvPairs::Timestamp() const {
  const AvPair* p = Find(kAvTimestamp);
  if (p == nullptr) return std::nullopt;
  if (p->value.size() != 8) ThrowBadToken("MsvAvTimestamp is not 8 bytes");
  return LoadLe<uint64_t>(p->value);
}

void AvPairs::Set(uint16_t id, std::vector<uint8_t> value) {
  for (auto& p : pairs_) {
    if (p.id == id) {
      p.value = std::move(value);
      return;
    }
  }
  pairs_.push_back(AvPair{id, std::move(value)});
}

void AvPairs::Remove(uint16_t id) {
  std::erase_if(pairs_, [id](const AvPair& p) { return p.id == id; });
}

std::vector<uint8_t> AvPairs::Encode() const {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  for (const auto& p : pairs_) {
    if (p.value.size() > 0xFFFF) throw RpcError(kSecPkgError, "AV pair value too long");
    w.U16(p.id);
    w.U16(static_cast<uint16_t>(p.value.size()));
    w.Bytes(p.value);
  }
  w.U16(kAvEol);
  w.U16(0);
  return out;
}

}  // namespace rpcrt::security::ntlm
