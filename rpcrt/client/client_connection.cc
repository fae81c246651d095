#include "rpcrt/client/client_connection.h"

#include <algorithm>
#include <utility>

#include "rpcrt/transport/fragment_stream.h"

namespace rpcrt::client {

using security::AuthnLevel;
using security::StepResult;
using transport::Deadline;
using transport::TransportError;

namespace {

// The auth_context_id we use for the one security context of a connection.
constexpr uint32_t kAuthContextId = 0;
// C706: every implementation must accept fragments of this size.
constexpr uint16_t kMinFragSize = 1432;
// Replies larger than this are refused rather than buffered: a server cannot make us hold
// more than this per call, whatever it sends.
constexpr size_t kMaxReplySize = size_t{256} << 20;
// What we trust alloc_hint with: a first reservation, never more than this.
constexpr size_t kMaxReserve = size_t{1} << 20;

std::string TypeName(PduType t) {
  return std::to_string(static_cast<int>(t));
}

// A bind or alter_context PDU offering `iface` in NDR as presentation context `context_id`.
template <typename Body>
Pdu OfferContext(uint32_t call_id, uint16_t context_id, const SyntaxId& iface,
                 uint32_t assoc_group) {
  Body body;
  body.max_xmit_frag = kClientMaxFrag;
  body.max_recv_frag = kClientMaxFrag;
  body.assoc_group_id = assoc_group;
  body.contexts.push_back(PresentationContext{context_id, iface, {kNdrSyntax}});
  Pdu pdu;
  pdu.call_id = call_id;
  pdu.body = std::move(body);
  return pdu;
}

}  // namespace

ClientConnection::ClientConnection(const std::string& host, uint16_t port,
                                   uint32_t connect_timeout_ms, const AuthInfo& auth,
                                   const SyntaxId& iface, uint32_t call_timeout_ms,
                                   uint32_t assoc_group)
    : auth_(auth), assoc_group_(assoc_group) {
  try {
    socket_ = transport::TcpSocket::Connect(host, port, Deadline::AfterMs(connect_timeout_ms));
  } catch (const TransportError& e) {
    Fail(CallFailure::kServerUnreachable, e.what());
  }
  Establish(iface, Deadline::AfterMs(call_timeout_ms));
}

ClientConnection::~ClientConnection() = default;

void ClientConnection::Fail(CallFailure failure, const std::string& detail) {
  broken_ = true;
  throw RpcError(StatusFor(failure), std::string(Describe(failure)) + ": " + detail);
}

AuthVerifier ClientConnection::MakeVerifier(std::vector<uint8_t> token) const {
  AuthVerifier v;
  v.trailer.auth_type = auth_.service;
  v.trailer.auth_level = level_;
  v.trailer.auth_context_id = kAuthContextId;
  v.auth_value = std::move(token);
  return v;
}

void ClientConnection::SendRaw(std::span<const uint8_t> bytes, Deadline deadline) {
  try {
    socket_.WriteAll(bytes, deadline);
  } catch (const TransportError& e) {
    // The server cannot act on a request whose last byte never left us.
    if (e.kind() == TransportError::Kind::kTimedOut) Fail(CallFailure::kCallTimeout, e.what());
    Fail(CallFailure::kNotExecuted, e.what());
  }
}

transport::Fragment ClientConnection::Receive(Deadline deadline) {
  try {
    return reader_.Next(deadline);
  } catch (const TransportError& e) {
    if (e.kind() == TransportError::Kind::kTimedOut) Fail(CallFailure::kCallTimeout, e.what());
    Fail(CallFailure::kConnectionLost, e.what());
  } catch (const RpcError& e) {
    Fail(CallFailure::kProtocolError, e.what());
  }
}

void ClientConnection::CheckContextResult(const std::vector<ContextResult>& results) {
  if (results.empty()) Fail(CallFailure::kProtocolError, "bind answer holds no context result");
  const ContextResult& r = results.front();
  if (r.result == ContextResultCode::kAcceptance) {
    if (r.transfer_syntax != kNdrSyntax)
      Fail(CallFailure::kProtocolError, "server accepted a transfer syntax we did not offer");
    return;
  }
  if (r.reason == static_cast<uint16_t>(ProviderReason::kProposedTransferSyntaxesNotSupported))
    Fail(CallFailure::kTransferSyntaxRejected, "server rejected the NDR transfer syntax");
  Fail(CallFailure::kUnknownInterface, "server does not support the interface");
}

Pdu ClientConnection::Decode(std::vector<uint8_t>& bytes) {
  try {
    return DecodePdu(bytes);
  } catch (const RpcError& e) {
    Fail(CallFailure::kProtocolError, e.what());
  }
}

Pdu ClientConnection::ExchangeBind(const Pdu& bind, Deadline deadline) {
  try {
    SendRaw(EncodePdu(bind), deadline);
  } catch (const RpcError& e) {
    if (e.status() == kCallFailedDne) Fail(CallFailure::kServerUnreachable, e.what());
    throw;
  }
  transport::Fragment reply;
  try {
    reply = Receive(deadline);
  } catch (const RpcError& e) {
    // The association was never set up: to the caller the server is not there.
    if (e.status() == kCallFailed) Fail(CallFailure::kServerUnreachable, e.what());
    throw;
  }
  Pdu answer = Decode(reply.bytes);
  if (answer.call_id != bind.call_id)
    Fail(CallFailure::kProtocolError, "bind answer for another call");
  return answer;
}

void ClientConnection::RejectBind(const BindNak& nak, bool offered_credentials) {
  switch (nak.reject_reason) {
    case BindRejectReason::kTemporaryCongestion:
    case BindRejectReason::kLocalLimitExceeded:
      broken_ = true;
      throw RpcError(kServerTooBusy, "server too busy to accept the association");
    case BindRejectReason::kProtocolVersionNotSupported:
      Fail(CallFailure::kProtocolError, "server does not speak protocol version 5.0");
    case BindRejectReason::kAuthenticationTypeNotRecognized:
    case BindRejectReason::kInvalidChecksum:
      Fail(CallFailure::kAuthRejected, "server rejected the authentication");
    default:
      // Servers refuse credentials under various reasons (Samba says "not specified" when
      // it cannot accept a ticket): to a bind that carried credentials, a refusal that is
      // not about load or version is a refusal of the credentials.
      const std::string reason = std::to_string(static_cast<int>(nak.reject_reason));
      if (offered_credentials)
        Fail(CallFailure::kAuthRejected, "server rejected the authentication, reason " + reason);
      Fail(CallFailure::kServerUnreachable, "server refused the association, reason " + reason);
  }
}

void ClientConnection::AcceptBindAck(const Pdu& answer) {
  auto* ack = std::get_if<BindAck>(&answer.body);
  if (ack == nullptr)
    Fail(CallFailure::kProtocolError, "expected bind_ack, got PDU type " + TypeName(answer.type()));
  if (ack->max_recv_frag < kMinFragSize)
    Fail(CallFailure::kProtocolError,
         "server receives fragments of only " + std::to_string(ack->max_recv_frag) + " bytes");
  max_xmit_frag_ = std::min<uint16_t>(kClientMaxFrag, ack->max_recv_frag);
  assoc_group_ = ack->assoc_group_id;
  CheckContextResult(ack->results);
}

Pdu ClientConnection::ExchangeAlterContext(const Pdu& alter, Deadline deadline) {
  SendRaw(EncodePdu(alter), deadline);
  transport::Fragment f = Receive(deadline);
  return Decode(f.bytes);
}

const AlterContextResp& ClientConnection::AlterContextAnswer(const Pdu& answer, uint32_t call_id) {
  auto* ar = std::get_if<AlterContextResp>(&answer.body);
  if (ar == nullptr || answer.call_id != call_id)
    Fail(CallFailure::kProtocolError, "expected alter_context_resp");
  return *ar;
}

void ClientConnection::SendAuth3(uint32_t call_id, std::vector<uint8_t> token, Deadline deadline) {
  Pdu auth3;
  auth3.call_id = call_id;
  auth3.body = Auth3{};
  auth3.auth = MakeVerifier(std::move(token));
  SendRaw(EncodePdu(auth3), deadline);
}

void ClientConnection::Authenticate(std::optional<AuthVerifier> server_auth, const SyntaxId& iface,
                                    uint16_t context_id, uint32_t call_id, Deadline deadline) {
  // Every leg after the bind answers the server's last token.
  for (;;) {
    if (!server_auth) Fail(CallFailure::kAuthRejected, "server answered without a security token");
    if (server_auth->trailer.auth_type != auth_.service)
      Fail(CallFailure::kAuthRejected, "server answered with another security package");
    std::vector<uint8_t> token;
    if (security_->Step(server_auth->auth_value, token) == StepResult::kComplete) {
      if (!token.empty()) SendAuth3(call_id, std::move(token), deadline);
      return;
    }
    Pdu alter = OfferContext<AlterContext>(call_id, context_id, iface, assoc_group_);
    alter.auth = MakeVerifier(std::move(token));
    const Pdu answer = ExchangeAlterContext(alter, deadline);
    if (auto* fault = std::get_if<Fault>(&answer.body)) {
      if (fault->status == 0) Fail(CallFailure::kProtocolError, "fault PDU reports no failure");
      broken_ = true;
      throw RpcError(FaultStatusToStatus(fault->status), "server failed the authentication leg");
    }
    CheckContextResult(AlterContextAnswer(answer, call_id).results);
    server_auth = answer.auth;
  }
}

void ClientConnection::Establish(const SyntaxId& iface, Deadline deadline) {
  const uint32_t call_id = next_call_id_++;
  const uint16_t context_id = next_context_id_++;
  Pdu bind = OfferContext<Bind>(call_id, context_id, iface, assoc_group_);
  if (auth_.enabled()) {
    level_ = auth_.EffectiveLevel();
    security_ =
        security::CreateClientContext(auth_.service, auth_.credentials, auth_.principal, level_);
    std::vector<uint8_t> token;
    security_->Step({}, token);
    bind.auth = MakeVerifier(std::move(token));
    bind.flags |= kPfcSupportHeaderSign;
  }

  const Pdu answer = ExchangeBind(bind, deadline);
  if (auto* nak = std::get_if<BindNak>(&answer.body)) RejectBind(*nak, bind.auth.has_value());
  AcceptBindAck(answer);
  contexts_.emplace_back(iface, context_id);

  if (!security_) return;
  header_sign_ = (answer.flags & kPfcSupportHeaderSign) != 0;
  try {
    Authenticate(answer.auth, iface, context_id, call_id, deadline);
  } catch (const RpcError&) {
    broken_ = true;
    throw;
  }
  if (level_ == AuthnLevel::kPktIntegrity || level_ == AuthnLevel::kPktPrivacy)
    protection_.emplace(*security_, auth_.service, level_, kAuthContextId, header_sign_);
}

void ClientConnection::AddContext(const SyntaxId& iface, Deadline deadline) {
  const uint32_t call_id = next_call_id_++;
  const uint16_t context_id = next_context_id_++;
  const Pdu answer = ExchangeAlterContext(
      OfferContext<AlterContext>(call_id, context_id, iface, assoc_group_), deadline);
  const AlterContextResp& ar = AlterContextAnswer(answer, call_id);
  // A rejected interface leaves the connection good for the interfaces it has.
  try {
    CheckContextResult(ar.results);
  } catch (const RpcError& e) {
    if (e.status() == kUnknownIf || e.status() == kUnsupportedTransSyn) broken_ = false;
    throw;
  }
  contexts_.emplace_back(iface, context_id);
}

uint16_t ClientConnection::ContextFor(const SyntaxId& iface, uint32_t call_timeout_ms) {
  for (const auto& [syntax, id] : contexts_)
    if (syntax == iface) return id;
  AddContext(iface, Deadline::AfterMs(call_timeout_ms));
  return contexts_.back().second;
}

Reply ClientConnection::Call(const SyntaxId& iface, uint16_t opnum, std::span<const uint8_t> stub,
                             const std::optional<Uuid>& object, uint32_t call_timeout_ms) {
  if (broken_) throw RpcError(kCallFailedDne, "connection is broken");
  const uint16_t context_id = ContextFor(iface, call_timeout_ms);
  const uint32_t call_id = next_call_id_++;
  // One deadline from the request's first byte to the reply's last: a server that trickles
  // fragments must not stretch the call beyond its time-out.
  const Deadline deadline = Deadline::AfterMs(call_timeout_ms);

  size_t fixed = kCommonHeaderSize + 8 + (object ? 16 : 0);
  size_t max_stub =
      protection_ ? protection_->MaxStub(PduType::kRequest, object.has_value(), max_xmit_frag_)
                  : max_xmit_frag_ - fixed;
  if (max_stub == 0) Fail(CallFailure::kProtocolError, "negotiated fragment too small");

  transport::FragmentWriter writer(socket_);
  try {
    SendRequest(writer, call_id, context_id, opnum, stub, object, max_stub, deadline);
  } catch (const TransportError& e) {
    // The server cannot act on a request whose last byte never left us.
    if (e.kind() == TransportError::Kind::kTimedOut) Fail(CallFailure::kCallTimeout, e.what());
    Fail(CallFailure::kNotExecuted, e.what());
  }
  return ReadReply(call_id, context_id, deadline);
}

void ClientConnection::SendRequest(transport::FragmentWriter& writer, uint32_t call_id,
                                   uint16_t context_id, uint16_t opnum,
                                   std::span<const uint8_t> stub, const std::optional<Uuid>& object,
                                   size_t max_stub, Deadline deadline) {
  size_t offset = 0;
  do {
    size_t n = std::min(max_stub, stub.size() - offset);
    Pdu pdu;
    pdu.call_id = call_id;
    pdu.flags = 0;
    if (offset == 0) pdu.flags |= kPfcFirstFrag;
    if (offset + n == stub.size()) pdu.flags |= kPfcLastFrag;
    if (object) pdu.flags |= kPfcObjectUuid;
    Request req;
    req.alloc_hint = static_cast<uint32_t>(std::min<size_t>(stub.size() - offset, UINT32_MAX));
    req.context_id = context_id;
    req.opnum = opnum;
    req.object = object;
    req.stub.assign(stub.begin() + static_cast<ptrdiff_t>(offset),
                    stub.begin() + static_cast<ptrdiff_t>(offset + n));
    pdu.body = std::move(req);
    std::vector<uint8_t> bytes = protection_ ? protection_->Protect(pdu) : EncodePdu(pdu);
    writer.Add(std::move(bytes), deadline);
    offset += n;
  } while (offset < stub.size());
  writer.Flush(deadline);
}

Reply ClientConnection::ReadReply(uint32_t call_id, uint16_t context_id, Deadline deadline) {
  Reply reply;
  bool first = true;
  for (;;) {
    transport::Fragment f = Receive(deadline);
    // A reply to an earlier call of this connection (sent twice, or late) is not this call's:
    // it is passed over. Only ids we have used can be stale; any other id is a broken stream.
    const bool stale = f.header.call_id < call_id &&
                       (f.header.type == PduType::kResponse || f.header.type == PduType::kFault);
    if (f.header.call_id != call_id && !stale)
      Fail(CallFailure::kProtocolError, "reply for call " + std::to_string(f.header.call_id) +
                                            " while waiting for " + std::to_string(call_id));
    Pdu pdu;
    try {
      if (f.header.type == PduType::kResponse && protection_) {
        pdu = protection_->Unprotect(f.bytes);
      } else {
        pdu = DecodePdu(f.bytes);
      }
    } catch (const RpcError& e) {
      if (e.status() == kProtocolError) Fail(CallFailure::kProtocolError, e.what());
      if (e.status() == kErrorAccessDenied) Fail(CallFailure::kProtectionDowngraded, e.what());
      Fail(CallFailure::kBadSignature, e.what());
    }
    // A protected stale response was verified above, which keeps the sequence numbers in
    // step. A stale fault on a protected connection was not, so the connection is retired
    // once this call ends, as after any fault there.
    if (stale) {
      if (protection_ && std::holds_alternative<Fault>(pdu.body)) broken_ = true;
      continue;
    }
    if (auto* fault = std::get_if<Fault>(&pdu.body)) {
      // Status 0 would read as a successful call that has no reply.
      if (fault->status == 0) Fail(CallFailure::kProtocolError, "fault PDU reports no failure");
      // A fault ends the call; on a plain connection the stream stays in step and carries the
      // next call. On a protected one the fault is taken as it comes, with or without a
      // verifier: servers send faults unprotected when they cannot protect them (the failure
      // came before or outside the security context), and a forged fault can only end the
      // call, which a peer able to inject bytes can do anyway by breaking the stream. Its
      // status is believed; the connection is not: nothing of the fault was verified, so the
      // stream may hold bytes we never authenticated and a verifier we skipped leaves the
      // sequence numbers out of step. The next call opens a new connection.
      if (protection_) broken_ = true;
      Status status = FaultStatusToStatus(fault->status);
      throw RpcError(status, "server returned fault status " + std::to_string(fault->status));
    }
    if (std::holds_alternative<Shutdown>(pdu.body))
      Fail(CallFailure::kConnectionLost, "server shut the connection down during the call");
    auto* resp = std::get_if<Response>(&pdu.body);
    if (resp == nullptr)
      Fail(CallFailure::kProtocolError, "unexpected PDU type " + TypeName(pdu.type()));
    if (protection_ && !pdu.auth)
      Fail(CallFailure::kProtectionDowngraded, "response without protection");
    if (resp->context_id != context_id)
      Fail(CallFailure::kProtocolError, "response for another presentation context");
    if (first != ((pdu.flags & kPfcFirstFrag) != 0))
      Fail(CallFailure::kProtocolError, "response fragments out of order");
    if (first) {
      reply.drep = pdu.drep;
      reply.stub.reserve(std::min<size_t>(resp->alloc_hint, kMaxReserve));
      first = false;
    }
    if (resp->stub.size() > kMaxReplySize - reply.stub.size())
      Fail(CallFailure::kProtocolError, "reply larger than the client accepts");
    reply.stub.insert(reply.stub.end(), resp->stub.begin(), resp->stub.end());
    if (pdu.flags & kPfcLastFrag) return reply;
  }
}

}  // namespace rpcrt::client
