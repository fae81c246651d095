#include "rpcrt/pdu/protected_layout.h"

#include <algorithm>
#include <string>

#include "rpcrt/pdu/pdu_body_codec.h"
#include "rpcrt/status.h"

namespace rpcrt {

namespace {

constexpr size_t kCallHeaderSize = kCommonHeaderSize + 8;  // alloc_hint, context id, opnum/...
constexpr size_t kObjectUuidSize = 16;
constexpr size_t kMaxFragment = 0xffff;

size_t HeaderSize(PduType type, bool object_uuid) {
  if (type != PduType::kRequest && type != PduType::kResponse) {
    throw RpcError(kErrorInvalidParameter, "only requests and responses are protected");
  }
  return kCallHeaderSize + (type == PduType::kRequest && object_uuid ? kObjectUuidSize : 0);
}

}  // namespace

std::array<security::IoBuffer, 3> ProtectedLayout::Buffers(std::span<uint8_t> fragment) const {
  using security::IoBuffer;
  return {
      IoBuffer{IoBuffer::Kind::kSignOnly, fragment.first(header_size)},
      IoBuffer{IoBuffer::Kind::kData, fragment.subspan(header_size, stub_size + pad_size)},
      IoBuffer{IoBuffer::Kind::kSignOnly, fragment.subspan(trailer_offset, kSecurityTrailerSize)}};
}

std::span<uint8_t> ProtectedLayout::Signature(std::span<uint8_t> fragment) const {
  return fragment.subspan(auth_value_offset, auth_value_size);
}

std::span<const uint8_t> ProtectedLayout::Stub(std::span<const uint8_t> fragment) const {
  return fragment.subspan(header_size, stub_size);
}

ProtectedLayout PlanProtectedPdu(PduType type, bool object_uuid, size_t stub_size,
                                 size_t signature_size) {
  ProtectedLayout l;
  l.header_size = HeaderSize(type, object_uuid);
  l.stub_size = stub_size;
  l.pad_size = (16 - stub_size % 16) % 16;
  l.trailer_offset = l.header_size + stub_size + l.pad_size;
  l.auth_value_offset = l.trailer_offset + kSecurityTrailerSize;
  l.auth_value_size = signature_size;
  l.frag_length = l.auth_value_offset + signature_size;
  if (stub_size > kMaxFragment || signature_size > kMaxFragment || l.frag_length > kMaxFragment) {
    throw RpcError(kErrorInvalidParameter, "protected PDU of " + std::to_string(l.frag_length) +
                                               " bytes exceeds a fragment");
  }
  return l;
}

size_t MaxProtectedStub(PduType type, bool object_uuid, size_t max_frag, size_t signature_size) {
  size_t overhead = HeaderSize(type, object_uuid) + kSecurityTrailerSize + signature_size;
  max_frag = std::min(max_frag, kMaxFragment);
  if (max_frag < overhead + 16) {
    throw RpcError(kErrorInvalidParameter, "fragment size " + std::to_string(max_frag) +
                                               " leaves no room for a protected stub");
  }
  return (max_frag - overhead) / 16 * 16;
}

std::vector<uint8_t> BuildProtectedPdu(const Pdu& pdu, const SecurityTrailer& trailer,
                                       size_t signature_size, ProtectedLayout* layout) {
  const std::vector<uint8_t>* stub = nullptr;
  bool object = false;
  if (auto* req = std::get_if<Request>(&pdu.body)) {
    stub = &req->stub;
    object = req->object.has_value();
  } else if (auto* resp = std::get_if<Response>(&pdu.body)) {
    stub = &resp->stub;
  }
  if (stub == nullptr) {
    throw RpcError(kErrorInvalidParameter, "only requests and responses are protected");
  }
  ProtectedLayout plan = PlanProtectedPdu(pdu.type(), object, stub->size(), signature_size);
  std::vector<uint8_t> out = EncodeFragment(pdu, &trailer, {}, signature_size);
  if (layout != nullptr) *layout = plan;
  return out;
}

ProtectedLayout LocateProtectedPdu(std::span<const uint8_t> fragment) {
  CommonHeader h = DecodeCommonHeader(fragment);
  if (fragment.size() < h.frag_length) {
    throw RpcError(kProtocolError, "PDU truncated: frag_length " + std::to_string(h.frag_length) +
                                       ", " + std::to_string(fragment.size()) + " bytes held");
  }
  if (h.type != PduType::kRequest && h.type != PduType::kResponse) {
    throw RpcError(kProtocolError, "PDU type " + std::to_string(static_cast<int>(h.type)) +
                                       " cannot carry a protected stub");
  }
  if (h.auth_length == 0) throw RpcError(kProtocolError, "PDU is not protected");
  ProtectedLayout l;
  l.header_size = HeaderSize(h.type, (h.flags & kPfcObjectUuid) != 0);
  l.frag_length = h.frag_length;
  l.auth_value_size = h.auth_length;
  l.auth_value_offset = h.frag_length - h.auth_length;
  l.trailer_offset = l.auth_value_offset - kSecurityTrailerSize;
  if (l.trailer_offset < l.header_size) {
    throw RpcError(kProtocolError, "security trailer overlaps the PDU header");
  }
  l.pad_size = fragment[l.trailer_offset + 2];
  size_t padded = l.trailer_offset - l.header_size;
  if (l.pad_size >= 16 || l.pad_size > padded) {
    throw RpcError(kProtocolError, "auth_pad_length " + std::to_string(l.pad_size) +
                                       " does not fit a stub of " + std::to_string(padded) +
                                       " bytes");
  }
  l.stub_size = padded - l.pad_size;
  return l;
}

}  // namespace rpcrt
