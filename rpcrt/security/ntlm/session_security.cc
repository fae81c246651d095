#include "rpcrt/security/ntlm/session_security.h"

#include <algorithm>
#include <array>

#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlmv2.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

namespace {

constexpr uint32_t kSignatureVersion = 1;

void CheckSize(size_t size) {
  if (size != kSignatureSize)
    throw RpcError(kSecPkgError, "NTLM signature must be 16 bytes, got " + std::to_string(size));
}

}  // namespace

SessionSecurity::SessionSecurity(const Key& exported_session_key, uint32_t flags, bool initiator)
    : key_exchange_((flags & flag::kKeyExchange) != 0) {
  send_.sign_key = SignKey(exported_session_key, initiator);
  send_.seal_key = SealKey(exported_session_key, initiator);
  receive_.sign_key = SignKey(exported_session_key, !initiator);
  receive_.seal_key = SealKey(exported_session_key, !initiator);
  send_.signer = HmacMd5Key(send_.sign_key.bytes);
  receive_.signer = HmacMd5Key(receive_.sign_key.bytes);
  ResetCiphers();
}

void SessionSecurity::ResetCiphers() {
  send_.rc4 = Rc4(send_.seal_key.bytes);
  receive_.rc4 = Rc4(receive_.seal_key.bytes);
}

template <typename Buffers>
Key SessionSecurity::Checksum(const Direction& d, const Buffers& buffers) {
  std::array<uint8_t, 4> seq;
  StoreU32(seq.data(), d.sequence);
  HmacMd5Stream mac(d.signer);
  mac.Update(seq);
  for (const auto& b : buffers) mac.Update(b.bytes);
  return mac.Final();
}

void SessionSecurity::Finish(Direction& d, const Key& checksum, std::span<uint8_t> signature) {
  StoreU32(signature.data(), kSignatureVersion);
  std::copy_n(checksum.bytes.begin(), 8, signature.begin() + 4);
  if (key_exchange_) d.rc4.Crypt(signature.subspan(4, 8));
  StoreU32(signature.data() + 12, d.sequence);
  ++d.sequence;
}

void SessionSecurity::Reject(const Direction& d, std::span<const uint8_t> signature,
                             const char* what) {
  const uint32_t got = LoadU32(signature.data() + 12);
  if (got != d.sequence) {
    throw RpcError(kSecPkgError, "NTLM sequence number " + std::to_string(got) + ", expected " +
                                     std::to_string(d.sequence));
  }
  throw RpcError(kSecPkgError, std::string("NTLM signature does not match the ") + what);
}

void SessionSecurity::Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  CheckSize(signature.size());
  // The checksum covers the plaintext, but the RC4 stream encrypts the data before it
  // encrypts the checksum.
  Key checksum = Checksum(send_, buffers);
  for (auto& b : buffers) {
    if (b.kind == IoBuffer::Kind::kData) send_.rc4.Crypt(b.bytes);
  }
  Finish(send_, checksum, signature);
}

void SessionSecurity::Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
  CheckSize(signature.size());
  const Direction before = receive_;
  for (auto& b : buffers) {
    if (b.kind == IoBuffer::Kind::kData) receive_.rc4.Crypt(b.bytes);
  }
  std::array<uint8_t, kSignatureSize> expected;
  Finish(receive_, Checksum(receive_, buffers), expected);
  // One constant-time comparison covers checksum and sequence number: a replayed or
  // reordered message differs in the latter.
  if (EqualSecret(expected, signature)) return;

  // Put the ciphertext back (RC4 is its own inverse) and rewind the stream, so that the caller
  // loses nothing and a genuine message can still follow.
  receive_ = before;
  for (auto& b : buffers) {
    if (b.kind == IoBuffer::Kind::kData) receive_.rc4.Crypt(b.bytes);
  }
  receive_ = before;
  Reject(receive_, signature, "sealed message");
}

void SessionSecurity::Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) {
  CheckSize(signature.size());
  Finish(send_, Checksum(send_, buffers), signature);
}

void SessionSecurity::Verify(std::span<const IoBuffer> buffers,
                             std::span<const uint8_t> signature) {
  CheckSize(signature.size());
  const Direction before = receive_;
  std::array<uint8_t, kSignatureSize> expected;
  Finish(receive_, Checksum(receive_, buffers), expected);
  if (EqualSecret(expected, signature)) return;
  receive_ = before;
  Reject(receive_, signature, "message");
}

}  // namespace rpcrt::security::ntlm
