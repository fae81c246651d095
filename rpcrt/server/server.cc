#include "rpcrt/server/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>

#include "rpcrt/pdu/fault_status.h"
#include "rpcrt/pdu/pdu.h"
#include "rpcrt/status.h"
#include "rpcrt/transport/fragment_stream.h"
#include "rpcrt/transport/packet_protection.h"

namespace rpcrt::server {

using security::AuthnLevel;
using security::StepResult;
using transport::Deadline;
using transport::TransportError;

namespace {

constexpr uint16_t kMinFragSize = 1432;
constexpr size_t kMaxReserve = size_t{1} << 20;
// What one receive asks for on a connection that may only send small requests.
constexpr size_t kSmallBlockSize = size_t{16} << 10;
// A client that stops reading its replies for this long loses its connection.
constexpr uint32_t kSendTimeoutMs = 60000;

// Ends the connection without answering (the peer broke the protocol or a test asked).
struct DropConnection {};

// "ADDR:PORT" or "[ADDR]:PORT" of the socket's peer; empty when the system cannot say.
std::string PeerAddress(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (ss.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&ss);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) return {};
    return std::string(text) + ":" + std::to_string(ntohs(in->sin_port));
  }
  if (ss.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&ss);
    if (::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text) == nullptr) return {};
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(in6->sin6_port));
  }
  return {};
}

// "d1c2c07a-d989-48cc-a423-b73ecd518d40 v1.0"
std::string Describe(const SyntaxId& id) {
  return id.uuid.ToString() + " v" + std::to_string(id.version_major) + "." +
         std::to_string(id.version_minor);
}

}  // namespace

uint32_t HandlerFaultStatus(Status status) {
  // The fault table pairs RPC_S_CALL_FAILED with nca_s_comm_failure first, but clients read
  // that as RPC_S_COMM_FAILURE: a handler that failed unspecifically says so instead.
  if (status == kCallFailed) return kNcaFaultUnspec;
  return StatusToFaultStatus(status);
}

struct Server::Connection {
  // What the accept loop may close to make room: unauthenticated connections and idle ones.
  enum class State : uint8_t { kUnauthenticated, kIdle, kBusy };
  transport::TcpSocket socket;
  std::jthread thread;
  std::atomic<bool> finished{false};
  std::atomic<bool> evicted{false};
  std::atomic<State> state{State::kUnauthenticated};
};

// The protocol state of one connection: its presentation contexts, its security context and
// the request being assembled.
class Server::Session {
 public:
  Session(Server& server, Connection& connection)
      : server_(server),
        socket_(connection.socket),
        state_(connection.state),
        reader_(connection.socket, kSmallBlockSize),
        client_address_(PeerAddress(connection.socket.fd())) {}
  ~Session() { ReleaseHeld(); }

  void Run() {
    const ServerOptions& o = server_.options_;
    const Deadline bind_deadline = Deadline::AfterMs(o.bind_timeout_ms);
    for (;;) {
      if (server_.faults_.drop_before_read.load()) return;
      // Until the bind is done its deadline bounds every wait. Then a call must begin within
      // the idle time, and the next fragment of a request within the fragment time.
      const Deadline begin =
          !settled_ ? bind_deadline
                    : Deadline::AfterMs(pending_ ? o.pdu_timeout_ms : o.idle_timeout_ms);
      SetState(pending_ ? Connection::State::kBusy : Connection::State::kIdle);
      reader_.Await(begin);
      SetState(Connection::State::kBusy);
      Deadline whole = Deadline::AfterMs(o.pdu_timeout_ms);
      if (!settled_) whole = Deadline::Earlier(whole, bind_deadline);
      transport::Fragment f = reader_.Next(whole);
      drep_ = f.header.drep;
      switch (f.header.type) {
        case PduType::kBind:
          OnBind(f);
          break;
        case PduType::kAlterContext:
          OnAlterContext(f);
          break;
        case PduType::kAuth3:
          OnAuth3(f);
          break;
        case PduType::kRequest:
          // Also checked here: the flag may have been set while this thread was waiting.
          if (server_.faults_.drop_before_read.load()) return;
          OnRequest(f);
          break;
        case PduType::kCoCancel:
        case PduType::kOrphaned:
          pending_.reset();
          ReleaseHeld();
          break;
        default:
          return;  // nothing else may come from a client
      }
    }
  }

 private:
  struct Context {
    uint16_t id;
    const Interface* iface;
  };
  struct PendingCall {
    uint32_t call_id;
    uint16_t context_id;
    uint16_t opnum;
    std::optional<Uuid> object;
    DataRep drep;
    std::vector<uint8_t> stub;
    bool rejected = false;  // answered with a fault before its last fragment came
    const Interface* iface = nullptr;
  };

  bool Authenticated() const { return security_ && !auth_failed_ && security_->IsEstablished(); }

  // The bind, with its authentication, is done: the bind deadline no longer applies, and the
  // receive buffer may grow to what this connection may send.
  void Settle() {
    settled_ = true;
    reader_.set_block_size(
        std::clamp(RequestLimit(), kSmallBlockSize, transport::kDefaultBlockSize));
  }

  // Connections without an authenticated context stay closable whatever they do.
  void SetState(Connection::State state) {
    if (Authenticated()) state_.store(state);
  }

  size_t RequestLimit() const {
    const ServerOptions& o = server_.options_;
    return Authenticated() ? o.max_request : std::min(o.max_request, o.max_unauthenticated_request);
  }

  // Counts `n` more request bytes against the server-wide limit; false when they do not fit.
  bool Hold(size_t n) {
    const size_t limit = server_.options_.max_requests_held;
    const size_t before = server_.held_.fetch_add(n);
    if (limit != 0 && before + n > limit) {
      server_.held_.fetch_sub(n);
      return false;
    }
    held_ += n;
    return true;
  }
  void ReleaseHeld() {
    server_.held_.fetch_sub(held_);
    held_ = 0;
  }

  AuthnLevel EffectiveLevel() const {
    return protection_ ? level_ : (security_ ? AuthnLevel::kConnect : AuthnLevel::kNone);
  }

  // The fault status a call is refused with from its first fragment on, or 0 when it may run.
  uint32_t Admit(PendingCall& call) {
    auto it = std::find_if(contexts_.begin(), contexts_.end(),
                           [&](const Context& c) { return c.id == call.context_id; });
    if (it == contexts_.end()) return kNcaUnknownIf;
    if (call.opnum >= it->iface->opnum_count) return kNcaOpRangeError;
    const AuthnLevel effective = EffectiveLevel();
    if (static_cast<uint8_t>(effective) < static_cast<uint8_t>(it->iface->min_level)) {
      Reject("request refused", "authentication level " +
                                    std::to_string(static_cast<int>(effective)) + " below " +
                                    std::to_string(static_cast<int>(it->iface->min_level)));
      return kErrorAccessDenied;
    }
    call.iface = it->iface;
    return 0;
  }

  void Reject(const char* what, std::string reason) {
    if (server_.options_.on_rejected)
      server_.options_.on_rejected(Rejection{what, client_address_, std::move(reason)});
  }

  // Refuses the bind and ends the connection.
  [[noreturn]] void Nak(Pdu& reply, BindRejectReason reason, std::string why) {
    Reject("bind refused", std::move(why));
    reply.body = BindNak{reason, {{5, 0}}};
    reply.auth.reset();
    Send(reply);
    throw DropConnection{};
  }

  void Send(const Pdu& pdu) { socket_.WriteAll(EncodePdu(pdu), Deadline::AfterMs(kSendTimeoutMs)); }

  std::vector<ContextResult> NegotiateContexts(const std::vector<PresentationContext>& offered) {
    std::vector<ContextResult> results;
    std::string refused;  // the reasons of the refused contexts
    for (const auto& pc : offered) {
      ContextResult r;
      const Interface* iface = server_.FindInterface(pc.abstract_syntax);
      bool ndr = std::find(pc.transfer_syntaxes.begin(), pc.transfer_syntaxes.end(), kNdrSyntax) !=
                 pc.transfer_syntaxes.end();
      if (BindTimeFeatures(pc.transfer_syntaxes.empty() ? SyntaxId{} : pc.transfer_syntaxes[0])) {
        r.result = ContextResultCode::kNegotiateAck;
        r.reason = 0;
      } else if (iface == nullptr) {
        r.result = ContextResultCode::kProviderRejection;
        r.reason = static_cast<uint16_t>(ProviderReason::kAbstractSyntaxNotSupported);
        refused += ", " + Describe(pc.abstract_syntax) + " is not served here";
      } else if (!ndr) {
        r.result = ContextResultCode::kProviderRejection;
        r.reason = static_cast<uint16_t>(ProviderReason::kProposedTransferSyntaxesNotSupported);
        refused += ", " + Describe(pc.abstract_syntax) + " is offered without NDR";
      } else {
        r.result = ContextResultCode::kAcceptance;
        r.transfer_syntax = kNdrSyntax;
        auto it = std::find_if(contexts_.begin(), contexts_.end(),
                               [&](const Context& c) { return c.id == pc.context_id; });
        if (it == contexts_.end())
          contexts_.push_back(Context{pc.context_id, iface});
        else
          it->iface = iface;
      }
      results.push_back(r);
    }
    // Windows clients offer more contexts than they need: only a request that gets none is
    // worth a line.
    if (!refused.empty() &&
        std::none_of(results.begin(), results.end(), [](const ContextResult& r) {
          return r.result == ContextResultCode::kAcceptance;
        })) {
      Reject("presentation contexts refused", refused.substr(2));
    }
    return results;
  }

  // Runs one leg of the acceptor; the reply token, if any, goes into `reply`.
  void AuthLeg(const Pdu& pdu, std::optional<AuthVerifier>& reply) {
    const AuthVerifier& in = *pdu.auth;
    if (!security_) {
      service_ = in.trailer.auth_type;
      level_ = in.trailer.auth_level;
      auth_context_id_ = in.trailer.auth_context_id;
      security_ = security::CreateServerContext(service_, *server_.options_.credentials);
    } else if (in.trailer.auth_type != service_ || in.trailer.auth_context_id != auth_context_id_) {
      throw RpcError(kErrorAccessDenied, "authentication leg for another security context");
    }
    std::vector<uint8_t> token;
    security_->Step(in.auth_value, token);
    if (!token.empty()) {
      AuthVerifier out;
      out.trailer.auth_type = service_;
      out.trailer.auth_level = level_;
      out.trailer.auth_context_id = auth_context_id_;
      out.auth_value = std::move(token);
      reply = std::move(out);
    }
    if (security_->IsEstablished()) Established();
  }

  void Established() {
    peer_name_ = security_->PeerName();
    if (level_ == AuthnLevel::kCall || level_ == AuthnLevel::kPkt)
      level_ = AuthnLevel::kPktIntegrity;
    if (level_ == AuthnLevel::kPktIntegrity || level_ == AuthnLevel::kPktPrivacy)
      protection_.emplace(*security_, service_, level_, auth_context_id_, header_sign_);
    Settle();
  }

  void OnBind(const transport::Fragment& f) {
    Pdu pdu = DecodePdu(f.bytes);
    if (bound_) {
      // Not answered: the connection's state belongs to the first.
      Reject("bind refused", "a second bind on one connection");
      throw DropConnection{};
    }
    auto& bind = std::get<Bind>(pdu.body);
    Pdu reply;
    reply.call_id = pdu.call_id;
    if (bind.max_recv_frag < kMinFragSize || bind.max_xmit_frag < kMinFragSize) {
      Nak(reply, BindRejectReason::kLocalLimitExceeded,
          "fragment sizes " + std::to_string(bind.max_xmit_frag) + "/" +
              std::to_string(bind.max_recv_frag) + " below " + std::to_string(kMinFragSize));
    }
    if (pdu.auth) {
      const std::string type =
          "authentication type " + std::to_string(static_cast<int>(pdu.auth->trailer.auth_type));
      if (!server_.options_.credentials) {
        Nak(reply, BindRejectReason::kAuthenticationTypeNotRecognized,
            type + " offered to a server without credentials");
      }
      header_sign_ = (pdu.flags & kPfcSupportHeaderSign) != 0;
      try {
        AuthLeg(pdu, reply.auth);
      } catch (const RpcError& e) {
        Nak(reply, BindRejectReason::kAuthenticationTypeNotRecognized, type + ": " + e.what());
      }
      if (header_sign_) reply.flags |= kPfcSupportHeaderSign;
    }
    max_xmit_ = std::min(bind.max_recv_frag, server_.options_.max_frag);
    BindAck ack;
    ack.max_xmit_frag = max_xmit_;
    ack.max_recv_frag = server_.options_.max_frag;
    ack.assoc_group_id = server_.JoinAssocGroup(bind.assoc_group_id);
    ack.secondary_address = std::to_string(server_.port_);
    ack.results = NegotiateContexts(bind.contexts);
    reply.body = std::move(ack);
    bound_ = true;
    if (!pdu.auth) Settle();
    Send(reply);
  }

  void OnAlterContext(const transport::Fragment& f) {
    Pdu pdu = DecodePdu(f.bytes);
    if (!bound_) throw DropConnection{};
    auto& alter = std::get<AlterContext>(pdu.body);
    Pdu reply;
    reply.call_id = pdu.call_id;
    if (pdu.auth) {
      if (!security_) throw DropConnection{};
      try {
        AuthLeg(pdu, reply.auth);
      } catch (const RpcError& e) {
        Reject("authentication failed", e.what());
        Fault fault;
        fault.status =
            StatusToFaultStatus(e.status() == kSecPkgError ? kErrorAccessDenied : e.status());
        reply.body = fault;
        reply.flags |= kPfcDidNotExecute;
        reply.auth.reset();
        Send(reply);
        throw DropConnection{};
      }
    }
    AlterContextResp resp;
    resp.max_xmit_frag = max_xmit_;
    resp.max_recv_frag = server_.options_.max_frag;
    resp.assoc_group_id = alter.assoc_group_id;
    resp.results = NegotiateContexts(alter.contexts);
    reply.body = std::move(resp);
    Send(reply);
  }

  void OnAuth3(const transport::Fragment& f) {
    Pdu pdu = DecodePdu(f.bytes);
    if (!security_ || !pdu.auth) throw DropConnection{};
    std::optional<AuthVerifier> ignored;
    try {
      AuthLeg(pdu, ignored);
    } catch (const RpcError& e) {
      // auth3 has no answer: the failure shows on the first request.
      Reject("authentication failed", e.what());
      auth_failed_ = true;
    }
  }

  void SendFault(uint32_t call_id, uint16_t context_id, uint32_t status, bool not_executed) {
    Pdu reply;
    reply.call_id = call_id;
    if (not_executed) reply.flags |= kPfcDidNotExecute;
    Fault fault;
    fault.context_id = context_id;
    fault.status = status;
    reply.body = fault;
    Send(reply);
  }

  void OnRequest(transport::Fragment& f) {
    if (!bound_) throw DropConnection{};
    Pdu pdu;
    if (security_ && (auth_failed_ || !security_->IsEstablished())) {
      if (!auth_failed_) Reject("request refused", "authentication was not completed");
      SendFault(f.header.call_id, 0, kErrorAccessDenied, true);
      throw DropConnection{};
    }
    if (protection_) {
      try {
        pdu = protection_->Unprotect(f.bytes);
      } catch (const RpcError& e) {
        // Unprotected, downgraded or forged: refuse and end the association.
        Reject("request refused", e.what());
        SendFault(f.header.call_id, 0,
                  e.status() == kErrorAccessDenied ? kErrorAccessDenied : kNcaInvalidChecksumFault,
                  true);
        throw DropConnection{};
      }
    } else {
      pdu = DecodePdu(f.bytes);
    }
    auto& req = std::get<Request>(pdu.body);
    if (pdu.flags & kPfcFirstFrag) {
      pending_.reset();
      ReleaseHeld();
      pending_ = PendingCall{pdu.call_id, req.context_id, req.opnum, req.object, pdu.drep, {}};
      // Refused before anything of it is held: a caller below the interface's level, or
      // calling what this connection has not bound, cannot make us gather its request.
      if (uint32_t refusal = Admit(*pending_)) {
        SendFault(pdu.call_id, req.context_id, refusal, true);
        pending_->rejected = true;
      } else {
        pending_->stub.reserve(std::min({size_t{req.alloc_hint}, kMaxReserve, RequestLimit()}));
      }
    } else if (!pending_ || pending_->call_id != pdu.call_id) {
      throw DropConnection{};  // a middle fragment of a call we never saw begin
    }
    if (pending_->rejected) {
      // The rest of a call already refused: read past it so the stream stays in step.
      if (pdu.flags & kPfcLastFrag) pending_.reset();
      return;
    }
    uint32_t refusal = 0;
    if (req.stub.size() > RequestLimit() - pending_->stub.size())
      refusal = kNcaOutArgsTooBig;
    else if (!Hold(req.stub.size()))
      refusal = HandlerFaultStatus(kServerTooBusy);
    if (refusal != 0) {
      pending_->rejected = true;
      std::vector<uint8_t>().swap(pending_->stub);
      ReleaseHeld();
      if (pdu.flags & kPfcLastFrag) pending_.reset();
      SendFault(pdu.call_id, req.context_id, refusal, true);
      return;
    }
    pending_->stub.insert(pending_->stub.end(), req.stub.begin(), req.stub.end());
    if (!(pdu.flags & kPfcLastFrag)) return;

    PendingCall call = std::move(*pending_);
    pending_.reset();
    // The request is counted as held until it has been answered.
    struct Held {
      Session& session;
      ~Held() { session.ReleaseHeld(); }
    } held{*this};
    if (server_.faults_.drop_after_read.load()) throw DropConnection{};
    if (uint32_t delay = server_.faults_.delay_reply_ms.load()) server_.WaitOrStop(delay);
    if (uint32_t status = server_.faults_.fault_status.load()) {
      SendFault(call.call_id, call.context_id, status, false);
      return;
    }
    Dispatch(call);
  }

  void Dispatch(const PendingCall& call) {
    const Interface& iface = *call.iface;
    CallContext ctx;
    ctx.opnum = call.opnum;
    ctx.stub = call.stub;
    ctx.drep = call.drep;
    ctx.object = call.object;
    ctx.peer_name = peer_name_;
    ctx.client_address = client_address_;
    ctx.level = EffectiveLevel();
    std::vector<uint8_t> out;
    try {
      out = iface.handler(ctx);
    } catch (const RpcError& e) {
      SendFault(call.call_id, call.context_id, HandlerFaultStatus(e.status()), false);
      return;
    } catch (const std::exception&) {
      SendFault(call.call_id, call.context_id, kNcaFaultUnspec, false);
      return;
    }
    SendResponse(call, out);
  }

  void SendResponse(const PendingCall& call, const std::vector<uint8_t>& stub) {
    size_t max_stub = protection_ ? protection_->MaxStub(PduType::kResponse, false, max_xmit_)
                                  : max_xmit_ - kCommonHeaderSize - 8;
    Deadline deadline = Deadline::AfterMs(kSendTimeoutMs);
    transport::FragmentWriter writer(socket_);
    size_t offset = 0;
    do {
      size_t n = std::min(max_stub, stub.size() - offset);
      Pdu pdu;
      pdu.call_id = call.call_id;
      pdu.flags = 0;
      if (offset == 0) pdu.flags |= kPfcFirstFrag;
      if (offset + n == stub.size()) pdu.flags |= kPfcLastFrag;
      Response resp;
      resp.alloc_hint = static_cast<uint32_t>(std::min<size_t>(stub.size() - offset, UINT32_MAX));
      resp.context_id = call.context_id;
      resp.stub.assign(stub.begin() + static_cast<ptrdiff_t>(offset),
                       stub.begin() + static_cast<ptrdiff_t>(offset + n));
      pdu.body = std::move(resp);
      std::vector<uint8_t> bytes;
      if (protection_ && !server_.faults_.send_unprotected.load()) {
        bytes = protection_->Protect(pdu);
        if (server_.faults_.corrupt_signature.load()) bytes.back() ^= 0x01;
      } else {
        bytes = EncodePdu(pdu);
      }
      writer.Add(std::move(bytes), deadline);
      offset += n;
    } while (offset < stub.size());
    writer.Flush(deadline);
  }

  static constexpr uint32_t kNcaInvalidChecksumFault = 0x1c00001f;

  Server& server_;
  transport::TcpSocket& socket_;
  std::atomic<Connection::State>& state_;
  transport::FragmentReader reader_;
  bool settled_ = false;
  size_t held_ = 0;  // of server_.held_, for the request being assembled
  DataRep drep_;
  bool bound_ = false;
  uint16_t max_xmit_ = kDefaultMaxFrag;
  std::vector<Context> contexts_;
  std::optional<PendingCall> pending_;
  std::unique_ptr<security::SecurityContext> security_;
  security::AuthnService service_ = security::AuthnService::kNone;
  AuthnLevel level_ = AuthnLevel::kNone;
  uint32_t auth_context_id_ = 0;
  bool header_sign_ = false;
  bool auth_failed_ = false;
  std::optional<transport::PacketProtection> protection_;
  std::string peer_name_;
  const std::string client_address_;
};

Server::Server(ServerOptions options) : options_(std::move(options)), port_(options_.port) {}

Server::~Server() {
  Stop();
}

void Server::RegisterInterface(const SyntaxId& iface, uint16_t opnum_count, Handler handler,
                               AuthnLevel min_level) {
  base::MutexLock lock(mutex_);
  if (listener_) throw RpcError(kErrorInvalidParameter, "register interfaces before Start");
  interfaces_.push_back(Interface{iface, opnum_count, std::move(handler), min_level});
}

size_t Server::association_groups() {
  base::MutexLock lock(groups_mutex_);
  return assoc_groups_.size();
}

uint32_t Server::JoinAssocGroup(uint32_t requested) {
  base::MutexLock lock(groups_mutex_);
  if (requested != 0 &&
      std::find(assoc_groups_.begin(), assoc_groups_.end(), requested) != assoc_groups_.end())
    return requested;
  // Groups are never retired: a test server issues few, and a stale id just starts afresh.
  if (assoc_groups_.size() >= 65536) assoc_groups_.erase(assoc_groups_.begin());
  uint32_t id = next_assoc_group_++;
  assoc_groups_.push_back(id);
  return id;
}

const Server::Interface* Server::FindInterface(const SyntaxId& id) const {
  for (const auto& i : interfaces_)
    if (i.id == id) return &i;
  return nullptr;
}

void Server::Start() {
  base::MutexLock lock(mutex_);
  if (listener_) return;
  listener_ = std::make_unique<transport::TcpListener>(options_.address, port_);
  port_ = listener_->port();
  stopping_ = false;
  acceptor_ = std::jthread([this] { AcceptLoop(); });
}

void Server::Stop() {
  {
    base::MutexLock lock(mutex_);
    if (!listener_) return;
    stopping_ = true;
    listener_->Interrupt();
    for (auto& c : connections_) c->socket.Shutdown();
  }
  delay_cv_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  std::list<std::unique_ptr<Connection>> connections;
  {
    base::MutexLock lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& c : connections)
    if (c->thread.joinable()) c->thread.join();
  connections.clear();
  base::MutexLock lock(mutex_);
  listener_.reset();
}

size_t Server::open_connections() const {
  base::MutexLock lock(mutex_);
  return static_cast<size_t>(std::count_if(connections_.begin(), connections_.end(),
                                           [](const auto& c) { return !c->finished.load(); }));
}

void Server::WaitOrStop(uint32_t ms) {
  base::MutexLock lock(mutex_);
  delay_cv_.wait_for(lock.native(), std::chrono::milliseconds(ms),
                     [this]() REQUIRES(mutex_) { return stopping_; });
}

void Server::ReapFinished() {
  std::list<std::unique_ptr<Connection>> done;
  {
    base::MutexLock lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->finished.load()) {
        done.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& c : done)
    if (c->thread.joinable()) c->thread.join();
}

void Server::AcceptLoop() {
  for (;;) {
    std::optional<transport::TcpSocket> socket;
    try {
      socket = listener_->Accept();
    } catch (const TransportError&) {
      return;
    }
    if (!socket) return;
    ++accepted_;
    ReapFinished();
    if (faults_.refuse.load()) {
      socket->Abort();
      continue;
    }
    base::MutexLock lock(mutex_);
    if (stopping_) return;
    if (!MakeRoom()) {
      socket->Abort();
      continue;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = std::move(*socket);
    Connection* raw = connection.get();
    connections_.push_back(std::move(connection));
    raw->thread = std::jthread([this, raw] { Serve(*raw); });
  }
}

bool Server::MakeRoom() {
  if (options_.max_connections == 0) return true;
  auto open = [](const auto& c) { return !c->finished.load() && !c->evicted.load(); };
  if (static_cast<size_t>(std::count_if(connections_.begin(), connections_.end(), open)) <
      options_.max_connections)
    return true;
  // Accept order is list order: the first closable one is the oldest.
  for (auto& c : connections_) {
    if (open(c) && c->state.load() != Connection::State::kBusy) {
      c->evicted.store(true);
      c->socket.Shutdown();
      return true;
    }
  }
  return false;
}

void Server::Serve(Connection& connection) {
  try {
    Session session(*this, connection);
    session.Run();
  } catch (const TransportError&) {
  } catch (const RpcError&) {
    // A malformed PDU: nothing sensible can be answered on this stream.
  } catch (const DropConnection&) {
  } catch (const std::bad_variant_access&) {
  }
  connection.socket.Shutdown();
  connection.finished.store(true);
}

}  // namespace rpcrt::server
