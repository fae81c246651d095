#include "rpcrt/transport/packet_protection.h"

#include <span>

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/pdu/protected_layout.h"
#include "rpcrt/status.h"

namespace rpcrt::transport {

using security::AuthnLevel;
using security::IoBuffer;

PacketProtection::PacketProtection(security::SecurityContext& context,
                                   security::AuthnService service, AuthnLevel level,
                                   uint32_t auth_context_id, bool header_sign)
    : context_(context),
      service_(service),
      level_(level),
      auth_context_id_(auth_context_id),
      whole_pdu_(header_sign || context.SignsWholePdu()) {}

size_t PacketProtection::MaxStub(PduType type, bool object_uuid, size_t max_frag) const {
  // The signature's size may depend on the data size; the largest one bounds them all.
  size_t sig = context_.SignatureSize(max_frag);
  return MaxProtectedStub(type, object_uuid, max_frag, sig);
}

namespace {

// Otherwise only the data is covered by the signature.
std::span<IoBuffer> Covered(std::array<IoBuffer, 3>& all, bool whole_pdu) {
  if (whole_pdu) return all;
  return std::span<IoBuffer>(&all[1], 1);
}

}  // namespace

std::vector<uint8_t> PacketProtection::Protect(const Pdu& pdu) {
  const std::vector<uint8_t>* stub = nullptr;
  if (auto* req = std::get_if<Request>(&pdu.body)) stub = &req->stub;
  if (auto* resp = std::get_if<Response>(&pdu.body)) stub = &resp->stub;
  if (stub == nullptr)
    throw RpcError(kErrorInvalidParameter, "only requests and responses are protected");

  SecurityTrailer trailer;
  trailer.auth_type = service_;
  trailer.auth_level = level_;
  trailer.auth_context_id = auth_context_id_;
  size_t padded = (stub->size() + 15) / 16 * 16;
  size_t sig_size = context_.SignatureSize(padded);
  ProtectedLayout layout;
  std::vector<uint8_t> fragment = BuildProtectedPdu(pdu, trailer, sig_size, &layout);
  auto buffers = layout.Buffers(fragment);
  auto signature = layout.Signature(fragment);
  if (level_ == AuthnLevel::kPktPrivacy)
    context_.Seal(Covered(buffers, whole_pdu_), signature);
  else
    context_.Sign(Covered(buffers, whole_pdu_), signature);
  return fragment;
}

Pdu PacketProtection::Unprotect(std::vector<uint8_t>& fragment) {
  CommonHeader header = DecodeCommonHeader(fragment);
  if (header.auth_length == 0)
    throw RpcError(kErrorAccessDenied,
                   "a PDU arrived without protection on a protected connection");
  ProtectedLayout layout = LocateProtectedPdu(fragment);
  const uint8_t* t = fragment.data() + layout.trailer_offset;
  auto type = static_cast<security::AuthnService>(t[0]);
  auto level = static_cast<AuthnLevel>(t[1]);
  const uint32_t context_id = Load<uint32_t>({t + 4, 4}, !header.drep.little_endian());
  if (type != service_ || level != level_ || context_id != auth_context_id_)
    throw RpcError(kErrorAccessDenied, "a PDU arrived with other protection than agreed");
  auto buffers = layout.Buffers(fragment);
  auto signature = layout.Signature(fragment);
  if (level_ == AuthnLevel::kPktPrivacy)
    context_.Unseal(Covered(buffers, whole_pdu_), signature);
  else
    context_.Verify(Covered(buffers, whole_pdu_), signature);
  return DecodePdu(fragment);
}

}  // namespace rpcrt::transport
