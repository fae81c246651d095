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
  uint16_t U16(const char* what) {
    auto b = Bytes(2, what);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  uint32_t U32(const char* what) {
    auto b = Bytes(4, what);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  }
  uint64_t U64(const char* what) {
    uint64_t lo = U32(what);
    uint64_t hi = U32(what);
    return lo | (hi << 32);
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }

 private:
  std::vector<uint8_t>& out_;
};

inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace rpcrt::security::ntlm
