#include "tests/hostile/hostile_server.h"

#include <algorithm>
#include <chrono>

#include "rpcrt/status.h"
#include "rpcrt/transport/fragment_stream.h"

namespace rpcrt::hostile {

using security::AuthnLevel;
using transport::Deadline;
using transport::TransportError;

namespace {

constexpr uint32_t kWriteTimeoutMs = 5000;

template <typename Answer>
Answer AcceptContexts(const BindFields& offer) {
  Answer a;
  a.assoc_group_id = offer.assoc_group_id != 0 ? offer.assoc_group_id : 0x5eed;
  a.secondary_address = "135";
  for (const auto& pc : offer.contexts) {
    if (std::ranges::find(pc.transfer_syntaxes, kNdrSyntax) != pc.transfer_syntaxes.end())
      a.results.push_back({ContextResultCode::kAcceptance, 0, kNdrSyntax});
    else
      a.results.push_back({ContextResultCode::kProviderRejection, 2, SyntaxId{}});
  }
  return a;
}

}  // namespace

std::optional<AuthVerifier> Session::AcceptorLeg(const Pdu& pdu) {
  const AuthVerifier& in = *pdu.auth;
  if (!security_) {
    if (credentials_ == nullptr) throw RpcError(kErrorAccessDenied, "no acceptor credentials");
    service_ = in.trailer.auth_type;
    level_ = in.trailer.auth_level;
    security_ = security::CreateServerContext(service_, *credentials_);
  }
  std::vector<uint8_t> token;
  security_->Step(in.auth_value, token);
  std::optional<AuthVerifier> out;
  if (!token.empty()) out = AuthVerifier{in.trailer, std::move(token)};
  if (security_->IsEstablished() && !protection_ &&
      (level_ == AuthnLevel::kPktIntegrity || level_ == AuthnLevel::kPktPrivacy))
    protection_.emplace(*security_, service_, level_, in.trailer.auth_context_id, header_sign_);
  return out;
}

Action Session::Behave(const Pdu& pdu) {
  Pdu reply;
  reply.call_id = pdu.call_id;
  if (auto* bind = std::get_if<Bind>(&pdu.body)) {
    header_sign_ = options_.header_sign && (pdu.flags & kPfcSupportHeaderSign) != 0;
    if (header_sign_) reply.flags |= kPfcSupportHeaderSign;
    if (pdu.auth) reply.auth = AcceptorLeg(pdu);
    reply.body = AcceptContexts<BindAck>(*bind);
    return {EncodePdu(reply)};
  }
  if (auto* alter = std::get_if<AlterContext>(&pdu.body)) {
    if (pdu.auth) reply.auth = AcceptorLeg(pdu);
    reply.body = AcceptContexts<AlterContextResp>(*alter);
    return {EncodePdu(reply)};
  }
  if (std::holds_alternative<Auth3>(pdu.body)) {
    AcceptorLeg(pdu);
    return {};
  }
  if (std::holds_alternative<Request>(pdu.body)) {
    if ((pdu.flags & kPfcLastFrag) == 0) return {};
    return {Encode(DefaultResponse(pdu))};
  }
  return {{}, Action::Then::kClose};
}

Pdu Session::ResponseTo(const Pdu& request, std::vector<uint8_t> stub) const {
  Pdu p;
  p.call_id = request.call_id;
  p.body =
      Response{.context_id = std::get<Request>(request.body).context_id, .stub = std::move(stub)};
  return p;
}

Pdu Session::DefaultResponse(const Pdu& request) const {
  const auto& echo = std::get<Request>(request.body).stub;
  return ResponseTo(request, options_.reply_stub.empty() ? echo : options_.reply_stub);
}

std::vector<uint8_t> Session::Encode(const Pdu& pdu) {
  return protection_ ? protection_->Protect(pdu) : EncodePdu(pdu);
}

std::vector<uint8_t> Session::EncodeAt(const Pdu& pdu, AuthnLevel level) {
  transport::PacketProtection other(*security_, service_, level, 0, header_sign_);
  return other.Protect(pdu);
}

Pdu Session::Decode(std::vector<uint8_t>& fragment, PduType type) {
  if (type == PduType::kRequest && protection_) return protection_->Unprotect(fragment);
  return DecodePdu(fragment);
}

HostileServer::HostileServer(Script script, HostileOptions options)
    : script_(std::move(script)), options_(std::move(options)) {
  if (!options_.ntlm_account.empty()) {
    accounts_file_.emplace(options_.ntlm_account + "\n");
    credentials_ = security::ServerCredentials{accounts_file_->path(), "", ""};
  }
  thread_ = std::thread([this] { Serve(); });
}

HostileServer::~HostileServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (current_ != nullptr) current_->Shutdown();
  }
  listener_.Interrupt();
  thread_.join();
}

int HostileServer::accepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

bool HostileServer::WaitClosed(int count, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return closed_ >= count; });
}

void HostileServer::Serve() {
  for (int index = 0;; ++index) {
    std::optional<transport::TcpSocket> socket = listener_.Accept();
    if (!socket) return;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      current_ = &*socket;
      ++accepted_;
    }
    RunSession(*socket, index);
    std::lock_guard lock(mutex_);
    current_ = nullptr;
    socket.reset();  // counted once the socket is closed on our side too
    ++closed_;
    changed_.notify_all();
  }
}

void HostileServer::RunSession(transport::TcpSocket& socket, int index) {
  transport::FragmentReader reader(socket);
  Session session(index, credentials_ ? &*credentials_ : nullptr, options_);
  try {
    for (;;) {
      transport::Fragment f = reader.Next(Deadline::Never());
      Pdu pdu = session.Decode(f.bytes, f.header.type);
      Action action = script_(session, pdu);
      if (f.header.type == PduType::kRequest) session.CountRequest();
      if (action.then == Action::Then::kTrickle)
        Trickle(socket, action.bytes, action.chunk);
      else if (!action.bytes.empty())
        socket.WriteAll(action.bytes, Deadline::AfterMs(kWriteTimeoutMs));
      if (action.then == Action::Then::kClose) return;
      if (action.then != Action::Then::kContinue) {
        // Stalled or trickled: nothing more is sent until the client gives up.
        while (Stall(socket)) {
        }
        return;
      }
    }
  } catch (const std::exception&) {
    // The client closed or broke the stream: this session is over.
  }
}

bool HostileServer::Stall(transport::TcpSocket& socket) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
  }
  uint8_t sink[4096];
  try {
    socket.ReadSome(sink, Deadline::AfterMs(100));
  } catch (const TransportError& e) {
    return e.kind() == TransportError::Kind::kTimedOut;
  }
  return true;
}

void HostileServer::Trickle(transport::TcpSocket& socket, const std::vector<uint8_t>& bytes,
                            size_t chunk) {
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    try {
      socket.WriteAll(std::span(bytes).subspan(at, std::min(chunk, bytes.size() - at)),
                      Deadline::AfterMs(kWriteTimeoutMs));
    } catch (const TransportError&) {
      return;
    }
    auto next = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < next)
      if (!Stall(socket)) return;
  }
}

Pdu FaultFor(const Pdu& request, uint32_t status) {
  Pdu fault;
  fault.call_id = request.call_id;
  const auto* req = std::get_if<Request>(&request.body);
  fault.body = Fault{0, req ? req->context_id : uint16_t{0}, 0, 0, status, {}};
  return fault;
}

Script OnFirstRequest(std::function<Action(Session&, const Pdu&)> misbehave) {
  return [misbehave = std::move(misbehave)](Session& s, const Pdu& pdu) {
    if (s.index() == 0 && s.requests() == 0 && pdu.type() == PduType::kRequest)
      return misbehave(s, pdu);
    return s.Behave(pdu);
  };
}

Script OnFirstBind(std::function<Action(Session&, const Pdu&)> misbehave) {
  return [misbehave = std::move(misbehave)](Session& s, const Pdu& pdu) {
    if (s.index() == 0 && pdu.type() == PduType::kBind) return misbehave(s, pdu);
    return s.Behave(pdu);
  };
}

Script BindAckAltered(std::function<void(Pdu&)> alter) {
  return OnFirstBind([alter = std::move(alter)](Session& s, const Pdu& bind) {
    Pdu ack = DecodePdu(s.Behave(bind).bytes);
    alter(ack);
    return Action{EncodePdu(ack)};
  });
}

Script ReplyMutated(std::function<void(std::vector<uint8_t>&)> mutate, Action::Then then) {
  return OnFirstRequest([=](Session& s, const Pdu& request) {
    std::vector<uint8_t> bytes = s.Encode(s.DefaultResponse(request));
    mutate(bytes);
    return Action{bytes, then};
  });
}

Script ReplyAltered(std::function<void(Pdu&)> alter) {
  return OnFirstRequest([=](Session& s, const Pdu& request) {
    Pdu response = s.DefaultResponse(request);
    alter(response);
    return Action{s.Encode(response)};
  });
}

Script FaultWith(uint32_t status) {
  return OnFirstRequest([status](Session&, const Pdu& request) {
    return Action{EncodePdu(FaultFor(request, status))};
  });
}

}  // namespace rpcrt::hostile
