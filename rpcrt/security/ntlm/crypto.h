// The primitives NTLM is built from, on nettle: MD4, MD5, HMAC-MD5 and RC4, plus a key type
// that wipes itself and a comparison that takes the same time wherever the inputs differ.
#pragma once

#include <nettle/arcfour.h>
#include <nettle/hmac.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace rpcrt::security::ntlm {

inline constexpr size_t kKeySize = 16;

// A 16-byte secret (hash, session key, sign or seal key); wiped when it goes.
struct Key {
  std::array<uint8_t, kKeySize> bytes{};

  Key() = default;
  explicit Key(std::span<const uint8_t> b);  // b must hold exactly 16 bytes
  Key(const Key&) = default;
  Key& operator=(const Key&) = default;
  ~Key();

  std::span<const uint8_t, kKeySize> span() const { return bytes; }
  bool operator==(const Key& other) const;
};

using Parts = std::initializer_list<std::span<const uint8_t>>;

Key Md4(std::span<const uint8_t> data);
Key Md5(Parts parts);
Key HmacMd5(std::span<const uint8_t> key, Parts parts);

// An HMAC-MD5 key made ready once. A checksum started from it skips hashing the key's two
// pads again: two of the four MD5 blocks that a small message costs.
class HmacMd5Key {
 public:
  HmacMd5Key() = default;
  explicit HmacMd5Key(std::span<const uint8_t> key);
  HmacMd5Key(const HmacMd5Key&) = default;
  HmacMd5Key& operator=(const HmacMd5Key&) = default;
  ~HmacMd5Key();

 private:
  friend class HmacMd5Stream;
  hmac_md5_ctx ctx_{};
};

// Incremental HMAC-MD5, for checksums over a list of buffers.
class HmacMd5Stream {
 public:
  explicit HmacMd5Stream(std::span<const uint8_t> key);
  explicit HmacMd5Stream(const HmacMd5Key& key) : ctx_(key.ctx_) {}
  ~HmacMd5Stream();
  HmacMd5Stream(const HmacMd5Stream&) = delete;
  HmacMd5Stream& operator=(const HmacMd5Stream&) = delete;

  void Update(std::span<const uint8_t> data);
  Key Final();

 private:
  hmac_md5_ctx ctx_;
};

// An RC4 key stream. Copyable so that a caller can take a snapshot and roll back.
class Rc4 {
 public:
  Rc4() = default;
  explicit Rc4(std::span<const uint8_t> key);
  Rc4(const Rc4&) = default;
  Rc4& operator=(const Rc4&) = default;
  ~Rc4();

  void Crypt(std::span<uint8_t> data);  // in place; encryption and decryption are the same
  void Crypt(std::span<const uint8_t> in, uint8_t* out);

 private:
  arcfour_ctx ctx_{};
};

// One-shot RC4 with a fresh key, as the key exchange uses it.
Key Rc4Once(std::span<const uint8_t> key, std::span<const uint8_t, kKeySize> data);

// Equality in time independent of where the inputs differ.
bool EqualSecret(std::span<const uint8_t> a, std::span<const uint8_t> b);

// Fills the span from the OS random source; throws RpcError(kSecPkgError) if it fails.
void FillRandom(std::span<uint8_t> out);

}  // namespace rpcrt::security::ntlm
