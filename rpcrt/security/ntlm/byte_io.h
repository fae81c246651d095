// Little-endian reading and writing of NTLM messages.
//
// ByteReader never reads past its span: every accessor checks the remaining length first and
// throws RpcError(kSecPkgError) naming what was being read, so a hostile token ends in an
// error, not an over-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

[[noreturn]] inline void ThrowBadToken(const std::string& what) {
  throw RpcError(kSecPkgError, "malformed NTLM message: " + what);
}

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t position() const { return pos_; }
  size_t remaining() const { return bytes_.size() - pos_; }

  std::span<const uint8_t> Bytes(size_t n, const char* what) {
    if (n > remaining()) ThrowBadToken(std::string(what) + " runs past the end");
    auto out = bytes_.subspan(pos_, n);
    pos_ += n;
    return out;
  }
  uint8_t U8(const char* what) { return Bytes(1, what)[0]; }
  uint16_t U16(const char* what) { return LoadLe<uint16_t>(Bytes(2, what)); }
  uint32_t U32(const char* what) { return LoadLe<uint32_t>(Bytes(4, what)); }
  uint64_t U64(const char* what) { return LoadLe<uint64_t>(Bytes(8, what)); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) { AppendLe<uint16_t>(out_, v); }
  void U32(uint32_t v) { AppendLe<uint32_t>(out_, v); }
  void U64(uint64_t v) { AppendLe<uint64_t>(out_, v); }
  void Bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }

 private:
  std::vector<uint8_t>& out_;
};

// A field patched in place: the caller has sized the buffer to hold it.
inline void StoreU32(uint8_t* p, uint32_t v) {
  StoreLe<uint32_t>({p, 4}, v);
}

inline uint32_t LoadU32(const uint8_t* p) {
  return LoadLe<uint32_t>({p, 4});
}

}  // namespace rpcrt::security::ntlm
