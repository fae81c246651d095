#include "rpcrt/pdu/pdu.h"

#include <string>

#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "rpcrt/pdu/pdu_body_codec.h"
#include "rpcrt/status.h"

namespace rpcrt {

PduType TypeOf(const PduBody& body) {
  static constexpr PduType kTypes[] = {
      PduType::kRequest, PduType::kResponse, PduType::kFault,        PduType::kBind,
      PduType::kBindAck, PduType::kBindNak,  PduType::kAlterContext, PduType::kAlterContextResp,
      PduType::kAuth3,   PduType::kShutdown, PduType::kCoCancel,     PduType::kOrphaned,
  };
  static_assert(std::size(kTypes) == std::variant_size_v<PduBody>);
  return kTypes[body.index()];
}

PduType Pdu::type() const {
  return TypeOf(body);
}

ContextResult NegotiateAck(uint16_t offered_features, uint16_t supported_features) {
  return {ContextResultCode::kNegotiateAck,
          static_cast<uint16_t>(offered_features & supported_features), SyntaxId{}};
}

namespace {

bool IsCallPdu(PduType type) {
  return type == PduType::kRequest || type == PduType::kResponse || type == PduType::kFault;
}

}  // namespace

std::vector<uint8_t> EncodeFragment(const Pdu& pdu, const SecurityTrailer* trailer,
                                    std::span<const uint8_t> auth_value, size_t zero_auth_value) {
  NdrWriter w(!pdu.drep.little_endian());
  std::vector<uint8_t> header_space(kCommonHeaderSize, 0);
  w.WriteBytes(header_space);
  size_t stub_start = EncodeBody(pdu.body, w);

  CommonHeader h;
  h.type = pdu.type();
  h.flags = pdu.flags;
  if (auto* req = std::get_if<Request>(&pdu.body)) {
    h.flags = req->object ? (h.flags | kPfcObjectUuid) : (h.flags & ~kPfcObjectUuid);
  }
  h.drep = pdu.drep;
  h.call_id = pdu.call_id;

  if (trailer != nullptr) {
    size_t pad;
    if (IsCallPdu(h.type)) {
      size_t stub_size = w.size() - stub_start;
      pad = (16 - stub_size % 16) % 16;
    } else {
      pad = (4 - w.size() % 4) % 4;
    }
    std::vector<uint8_t> zeros(pad, 0);
    w.WriteBytes(zeros);
    const SecurityTrailer& t = *trailer;
    w.WriteU8(static_cast<uint8_t>(t.auth_type));
    w.WriteU8(static_cast<uint8_t>(t.auth_level));
    w.WriteU8(static_cast<uint8_t>(pad));
    w.WriteU8(t.auth_reserved);
    w.WriteU32(t.auth_context_id);
    w.WriteBytes(auth_value);
    std::vector<uint8_t> signature_space(zero_auth_value, 0);
    w.WriteBytes(signature_space);
    size_t auth_length = auth_value.size() + zero_auth_value;
    if (auth_length > 0xffff) {
      throw RpcError(kErrorInvalidParameter, "auth_value too long for one PDU");
    }
    h.auth_length = static_cast<uint16_t>(auth_length);
  }
  if (w.size() > 0xffff) {
    throw RpcError(kErrorInvalidParameter,
                   "PDU of " + std::to_string(w.size()) + " bytes exceeds one fragment");
  }
  h.frag_length = static_cast<uint16_t>(w.size());
  std::vector<uint8_t> out = w.Take();
  EncodeCommonHeader(h, out);
  return out;
}

std::vector<uint8_t> EncodePdu(const Pdu& pdu) {
  if (!pdu.auth) return EncodeFragment(pdu, nullptr, {}, 0);
  return EncodeFragment(pdu, &pdu.auth->trailer, pdu.auth->auth_value, 0);
}

Pdu DecodePdu(std::span<const uint8_t> bytes) {
  CommonHeader h = DecodeCommonHeader(bytes);
  if (bytes.size() < h.frag_length) {
    throw RpcError(kProtocolError, "PDU truncated: frag_length " + std::to_string(h.frag_length) +
                                       ", " + std::to_string(bytes.size()) + " bytes held");
  }
  auto fragment = bytes.first(h.frag_length);

  Pdu pdu;
  pdu.flags = h.flags;
  pdu.drep = h.drep;
  pdu.call_id = h.call_id;

  // Everything before the trailer is the body; the trailer sits at the very end.
  size_t body_end = h.frag_length;
  size_t pad = 0;
  if (h.auth_length != 0) {
    body_end = h.frag_length - h.auth_length - kSecurityTrailerSize;
    NdrReader t(fragment.subspan(body_end), h.drep, kProtocolError);
    AuthVerifier auth;
    auth.trailer.auth_type = static_cast<security::AuthnService>(t.ReadU8());
    auth.trailer.auth_level = static_cast<security::AuthnLevel>(t.ReadU8());
    auth.trailer.auth_pad_length = t.ReadU8();
    auth.trailer.auth_reserved = t.ReadU8();
    auth.trailer.auth_context_id = t.ReadU32();
    auto value = t.ReadBytes(h.auth_length);
    auth.auth_value.assign(value.begin(), value.end());
    pad = auth.trailer.auth_pad_length;
    if (pad >= 16) {
      throw RpcError(kProtocolError, "auth_pad_length " + std::to_string(pad) + " too large");
    }
    pdu.auth = std::move(auth);
  }

  NdrReader r(fragment.first(body_end), h.drep, kProtocolError);
  r.ReadBytes(kCommonHeaderSize);
  pdu.body = DecodeBody(h, r, pad);
  return pdu;
}

}  // namespace rpcrt
