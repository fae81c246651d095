// Where the parts of a signed or sealed request/response fragment lie, so that the security
// context can be handed the right buffers in place.
//
// A protected fragment is [common header + request/response header] [stub + auth pad]
// [sec_trailer] [auth_value]. The first and third are signed only, the second is encrypted
// under packet privacy, the last is the signature. The header is final (frag_length and
// auth_length included) before anything is signed, because header signing covers it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rpcrt/pdu/pdu.h"
#include "rpcrt/security/security_context.h"

namespace rpcrt {

struct ProtectedLayout {
  size_t header_size = 0;        // common header + request/response header (+ object UUID)
  size_t stub_size = 0;          // stub without padding
  size_t pad_size = 0;           // auth padding after the stub
  size_t trailer_offset = 0;     // sec_trailer
  size_t auth_value_offset = 0;  // signature
  size_t auth_value_size = 0;
  size_t frag_length = 0;

  // The three buffers in PDU order: header (sign only), stub + pad (data), trailer (sign only).
  std::array<security::IoBuffer, 3> Buffers(std::span<uint8_t> fragment) const;
  std::span<uint8_t> Signature(std::span<uint8_t> fragment) const;
  std::span<const uint8_t> Stub(std::span<const uint8_t> fragment) const;
};

// The layout of a request (with or without object UUID) or response of `stub_size` stub bytes
// and a `signature_size`-byte signature; the stub is padded to a multiple of 16.
ProtectedLayout PlanProtectedPdu(PduType type, bool object_uuid, size_t stub_size,
                                 size_t signature_size);

// The largest stub that fits a protected fragment of at most `max_frag` bytes, a multiple of
// 16 so that only the last fragment carries padding.
size_t MaxProtectedStub(PduType type, bool object_uuid, size_t max_frag, size_t signature_size);

// Encodes a request or response `pdu` (its auth verifier's auth_value ignored) with final
// header and trailer and a zeroed signature of `signature_size` bytes, ready for Seal/Sign.
std::vector<uint8_t> BuildProtectedPdu(const Pdu& pdu, const SecurityTrailer& trailer,
                                       size_t signature_size, ProtectedLayout* layout);

// Locates the parts of a received request or response fragment with auth_length > 0,
// checking every length; throws RpcError(kProtocolError) if they do not add up.
ProtectedLayout LocateProtectedPdu(std::span<const uint8_t> fragment);

}  // namespace rpcrt
