// Signing and sealing of messages once NTLM has agreed a session key (extended session
// security, 128-bit keys, with or without key exchange).
//
// Each direction has its own sign key, RC4 stream and sequence counter. A signature is
// version 1, the first 8 bytes of HMAC-MD5(sign key, sequence || all buffers), encrypted with
// the direction's RC4 stream when key exchange was negotiated, and the sequence number.
// Sealing encrypts the data buffers with the same stream first, in order.
#pragma once

#include <cstdint>
#include <span>

#include "rpcrt/security/ntlm/crypto.h"
#include "rpcrt/security/security_context.h"

namespace rpcrt::security::ntlm {

inline constexpr size_t kSignatureSize = 16;

class SessionSecurity {
 public:
  // `flags` are the negotiated flags; only key exchange changes the signature.
  SessionSecurity(const Key& exported_session_key, uint32_t flags, bool initiator);

  // Failures throw RpcError(kSecPkgError). A failed Unseal or Verify leaves the buffers and
  // the receive state as they were before the call.
  void Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature);
  void Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature);
  void Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature);
  void Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature);

  // Restarts both RC4 streams from their keys; sequence numbers carry on.
  void ResetCiphers();

  uint32_t send_sequence() const { return send_.sequence; }
  uint32_t receive_sequence() const { return receive_.sequence; }

 private:
  struct Direction {
    Key sign_key;
    Key seal_key;
    HmacMd5Key signer;  // sign_key, ready for each message's checksum
    Rc4 rc4;
    uint32_t sequence = 0;
  };

  template <typename Buffers>
  static Key Checksum(const Direction& d, const Buffers& buffers);
  // Encrypts the checksum (with key exchange), writes the signature, advances the counter.
  void Finish(Direction& d, const Key& checksum, std::span<uint8_t> signature);
  [[noreturn]] void Reject(const Direction& d, std::span<const uint8_t> signature,
                           const char* what);

  bool key_exchange_;
  Direction send_;
  Direction receive_;
};

}  // namespace rpcrt::security::ntlm
