#include "rpcrt/security/ntlm/crypto.h"

#include <nettle/md4.h>
#include <nettle/md5.h>
#include <nettle/memops.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "rpcrt/security/security_context.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

Key::Key(std::span<const uint8_t> b) {
  if (b.size() != kKeySize) throw RpcError(kSecPkgError, "NTLM key of wrong size");
  std::memcpy(bytes.data(), b.data(), kKeySize);
}

Key::~Key() {
  SecureWipe(bytes.data(), bytes.size());
}

bool Key::operator==(const Key& other) const {
  return EqualSecret(bytes, other.bytes);
}

Key Md4(std::span<const uint8_t> data) {
  md4_ctx ctx;
  md4_init(&ctx);
  md4_update(&ctx, data.size(), data.data());
  Key out;
  md4_digest(&ctx, MD4_DIGEST_SIZE, out.bytes.data());
  SecureWipe(&ctx, sizeof ctx);
  return out;
}

Key Md5(Parts parts) {
  md5_ctx ctx;
  md5_init(&ctx);
  for (auto p : parts) md5_update(&ctx, p.size(), p.data());
  Key out;
  md5_digest(&ctx, MD5_DIGEST_SIZE, out.bytes.data());
  SecureWipe(&ctx, sizeof ctx);
  return out;
}

Key HmacMd5(std::span<const uint8_t> key, Parts parts) {
  HmacMd5Stream h(key);
  for (auto p : parts) h.Update(p);
  return h.Final();
}

HmacMd5Key::HmacMd5Key(std::span<const uint8_t> key) {
  hmac_md5_set_key(&ctx_, key.size(), key.data());
}

HmacMd5Key::~HmacMd5Key() {
  SecureWipe(&ctx_, sizeof ctx_);
}

HmacMd5Stream::HmacMd5Stream(std::span<const uint8_t> key) {
  hmac_md5_set_key(&ctx_, key.size(), key.data());
}

HmacMd5Stream::~HmacMd5Stream() {
  SecureWipe(&ctx_, sizeof ctx_);
}

void HmacMd5Stream::Update(std::span<const uint8_t> data) {
  hmac_md5_update(&ctx_, data.size(), data.data());
}

Key HmacMd5Stream::Final() {
  Key out;
  hmac_md5_digest(&ctx_, MD5_DIGEST_SIZE, out.bytes.data());
  return out;
}

Rc4::Rc4(std::span<const uint8_t> key) {
  if (key.size() < ARCFOUR_MIN_KEY_SIZE || key.size() > ARCFOUR_MAX_KEY_SIZE)
    throw RpcError(kSecPkgError, "RC4 key of unusable size");
  arcfour_set_key(&ctx_, key.size(), key.data());
}

Rc4::~Rc4() {
  SecureWipe(&ctx_, sizeof ctx_);
}

void Rc4::Crypt(std::span<uint8_t> data) {
  if (!data.empty()) arcfour_crypt(&ctx_, data.size(), data.data(), data.data());
}

void Rc4::Crypt(std::span<const uint8_t> in, uint8_t* out) {
  if (!in.empty()) arcfour_crypt(&ctx_, in.size(), out, in.data());
}

Key Rc4Once(std::span<const uint8_t> key, std::span<const uint8_t, kKeySize> data) {
  Rc4 rc4(key);
  Key out;
  rc4.Crypt(data, out.bytes.data());
  return out;
}

bool EqualSecret(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  if (a.size() != b.size()) return false;
  return a.empty() || memeql_sec(a.data(), b.data(), a.size()) != 0;
}

void FillRandom(std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = getrandom(out.data() + done, out.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw RpcError(kSecPkgError,
                     std::string("cannot read the OS random source: ") + std::strerror(errno));
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace rpcrt::security::ntlm
