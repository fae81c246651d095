#include "rpcrt/pdu/pdu_body_codec.h"

#include <string>

#include "rpcrt/status.h"

namespace rpcrt {

namespace {

[[noreturn]] void Malformed(const std::string& what) {
  throw RpcError(kProtocolError, what);
}

uint8_t Count8(size_t n, const char* what) {
  if (n > 0xff) throw RpcError(kErrorInvalidParameter, std::string("too many ") + what);
  return static_cast<uint8_t>(n);
}

void EncodeBindFields(const BindFields& b, NdrWriter& w) {
  w.WriteU16(b.max_xmit_frag);
  w.WriteU16(b.max_recv_frag);
  w.WriteU32(b.assoc_group_id);
  w.WriteU8(Count8(b.contexts.size(), "presentation contexts"));
  w.WriteU8(0);
  w.WriteU16(0);
  for (const auto& c : b.contexts) {
    w.WriteU16(c.context_id);
    w.WriteU8(Count8(c.transfer_syntaxes.size(), "transfer syntaxes"));
    w.WriteU8(0);
    WriteSyntax(w, c.abstract_syntax);
    for (const auto& t : c.transfer_syntaxes) WriteSyntax(w, t);
  }
}

void DecodeBindFields(NdrReader& r, BindFields& b) {
  b.max_xmit_frag = r.ReadU16();
  b.max_recv_frag = r.ReadU16();
  b.assoc_group_id = r.ReadU32();
  uint8_t n = r.ReadU8();
  r.ReadU8();
  r.ReadU16();
  // Each element is at least 4 + 20 bytes; refuse counts the body cannot hold before reserving.
  r.Require(n, 4 + SyntaxId::kWireSize);
  b.contexts.reserve(n);
  for (uint8_t i = 0; i < n; ++i) {
    PresentationContext c;
    c.context_id = r.ReadU16();
    uint8_t n_transfer = r.ReadU8();
    r.ReadU8();
    c.abstract_syntax = ReadSyntax(r);
    r.Require(n_transfer, SyntaxId::kWireSize);
    c.transfer_syntaxes.reserve(n_transfer);
    for (uint8_t j = 0; j < n_transfer; ++j) c.transfer_syntaxes.push_back(ReadSyntax(r));
    b.contexts.push_back(std::move(c));
  }
}

void EncodeBindAckFields(const BindAckFields& b, NdrWriter& w) {
  w.WriteU16(b.max_xmit_frag);
  w.WriteU16(b.max_recv_frag);
  w.WriteU32(b.assoc_group_id);
  if (b.secondary_address.empty()) {
    w.WriteU16(0);
  } else {
    if (b.secondary_address.size() >= 0xffff) {
      throw RpcError(kErrorInvalidParameter, "secondary address too long");
    }
    w.WriteU16(static_cast<uint16_t>(b.secondary_address.size() + 1));
    w.WriteBytes(
        {reinterpret_cast<const uint8_t*>(b.secondary_address.data()), b.secondary_address.size()});
    w.WriteU8(0);
  }
  w.Align(4);
  w.WriteU8(Count8(b.results.size(), "context results"));
  w.WriteU8(0);
  w.WriteU16(0);
  for (const auto& res : b.results) {
    w.WriteU16(static_cast<uint16_t>(res.result));
    w.WriteU16(res.reason);
    WriteSyntax(w, res.transfer_syntax);
  }
}

void DecodeBindAckFields(NdrReader& r, BindAckFields& b) {
  b.max_xmit_frag = r.ReadU16();
  b.max_recv_frag = r.ReadU16();
  b.assoc_group_id = r.ReadU32();
  uint16_t addr_len = r.ReadU16();
  auto addr = r.ReadBytes(addr_len);
  // The port string counts its NUL; tolerate peers that leave it out.
  size_t text_len = addr.size();
  while (text_len > 0 && addr[text_len - 1] == 0) --text_len;
  b.secondary_address.assign(reinterpret_cast<const char*>(addr.data()), text_len);
  r.Align(4);
  uint8_t n = r.ReadU8();
  r.ReadU8();
  r.ReadU16();
  r.Require(n, 4 + SyntaxId::kWireSize);
  b.results.reserve(n);
  for (uint8_t i = 0; i < n; ++i) {
    ContextResult res;
    res.result = static_cast<ContextResultCode>(r.ReadU16());
    res.reason = r.ReadU16();
    res.transfer_syntax = ReadSyntax(r);
    b.results.push_back(res);
  }
}

std::vector<uint8_t> ReadStub(NdrReader& r, size_t auth_pad) {
  if (auth_pad > r.remaining()) {
    Malformed("auth_pad_length " + std::to_string(auth_pad) + " exceeds the stub of " +
              std::to_string(r.remaining()) + " bytes");
  }
  auto stub = r.ReadBytes(r.remaining() - auth_pad);
  return {stub.begin(), stub.end()};
}

uint32_t AllocHint(uint32_t given, size_t stub_size) {
  return given != 0 ? given : static_cast<uint32_t>(stub_size);
}

struct BodyEncoder {
  NdrWriter& w;

  size_t operator()(const Request& b) {
    w.WriteU32(AllocHint(b.alloc_hint, b.stub.size()));
    w.WriteU16(b.context_id);
    w.WriteU16(b.opnum);
    if (b.object) w.WriteUuid(*b.object);
    return Stub(b.stub);
  }
  size_t operator()(const Response& b) {
    w.WriteU32(AllocHint(b.alloc_hint, b.stub.size()));
    w.WriteU16(b.context_id);
    w.WriteU8(b.cancel_count);
    w.WriteU8(0);
    return Stub(b.stub);
  }
  size_t operator()(const Fault& b) {
    w.WriteU32(b.alloc_hint);
    w.WriteU16(b.context_id);
    w.WriteU8(b.cancel_count);
    w.WriteU8(b.fault_flags);
    w.WriteU32(b.status);
    w.WriteU32(0);
    return Stub(b.stub);
  }
  size_t operator()(const Bind& b) {
    return Done([&] { EncodeBindFields(b, w); });
  }
  size_t operator()(const AlterContext& b) {
    return Done([&] { EncodeBindFields(b, w); });
  }
  size_t operator()(const BindAck& b) {
    return Done([&] { EncodeBindAckFields(b, w); });
  }
  size_t operator()(const AlterContextResp& b) {
    return Done([&] { EncodeBindAckFields(b, w); });
  }
  size_t operator()(const BindNak& b) {
    w.WriteU16(static_cast<uint16_t>(b.reject_reason));
    w.WriteU8(Count8(b.versions.size(), "protocol versions"));
    for (const auto& v : b.versions) {
      w.WriteU8(v.major);
      w.WriteU8(v.minor);
    }
    return w.size();
  }
  size_t operator()(const Auth3&) {
    w.WriteU32(0);  // pad: ignored by the receiver
    return w.size();
  }
  size_t operator()(const Shutdown&) { return w.size(); }
  size_t operator()(const CoCancel&) { return w.size(); }
  size_t operator()(const Orphaned&) { return w.size(); }

  size_t Stub(const std::vector<uint8_t>& stub) {
    size_t start = w.size();
    w.WriteBytes(stub);
    return start;
  }
  template <typename F>
  size_t Done(F&& f) {
    f();
    return w.size();
  }
};

}  // namespace

size_t EncodeBody(const PduBody& body, NdrWriter& w) {
  return std::visit(BodyEncoder{w}, body);
}

PduBody DecodeBody(const CommonHeader& h, NdrReader& r, size_t auth_pad) {
  switch (h.type) {
    case PduType::kRequest: {
      Request b;
      b.alloc_hint = r.ReadU32();
      b.context_id = r.ReadU16();
      b.opnum = r.ReadU16();
      if (h.flags & kPfcObjectUuid) b.object = r.ReadUuid();
      b.stub = ReadStub(r, auth_pad);
      return b;
    }
    case PduType::kResponse: {
      Response b;
      b.alloc_hint = r.ReadU32();
      b.context_id = r.ReadU16();
      b.cancel_count = r.ReadU8();
      r.ReadU8();
      b.stub = ReadStub(r, auth_pad);
      return b;
    }
    case PduType::kFault: {
      Fault b;
      b.alloc_hint = r.ReadU32();
      b.context_id = r.ReadU16();
      b.cancel_count = r.ReadU8();
      b.fault_flags = r.ReadU8();
      b.status = r.ReadU32();
      // Some peers end the fault at the status; the reserved word is optional on receipt.
      if (r.remaining() >= 4 + auth_pad) r.ReadU32();
      b.stub = ReadStub(r, auth_pad);
      return b;
    }
    case PduType::kBind: {
      Bind b;
      DecodeBindFields(r, b);
      return b;
    }
    case PduType::kAlterContext: {
      AlterContext b;
      DecodeBindFields(r, b);
      return b;
    }
    case PduType::kBindAck: {
      BindAck b;
      DecodeBindAckFields(r, b);
      return b;
    }
    case PduType::kAlterContextResp: {
      AlterContextResp b;
      DecodeBindAckFields(r, b);
      return b;
    }
    case PduType::kBindNak: {
      BindNak b;
      b.reject_reason = static_cast<BindRejectReason>(r.ReadU16());
      // Older peers end the PDU at the reason; the versions list and any extended error
      // information after it are optional.
      if (r.remaining() == 0) return b;
      uint8_t n = r.ReadU8();
      r.Require(n, 2);
      b.versions.reserve(n);
      for (uint8_t i = 0; i < n; ++i) {
        ProtocolVersion v;
        v.major = r.ReadU8();
        v.minor = r.ReadU8();
        b.versions.push_back(v);
      }
      return b;
    }
    case PduType::kAuth3:
      return Auth3{};
    case PduType::kShutdown:
      return Shutdown{};
    case PduType::kCoCancel:
      return CoCancel{};
    case PduType::kOrphaned:
      return Orphaned{};
  }
  Malformed("unknown PDU type " + std::to_string(static_cast<int>(h.type)));
}

}  // namespace rpcrt
