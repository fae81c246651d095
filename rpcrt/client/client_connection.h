// One client connection: a TCP stream bound to a server, its presentation contexts, its
// security context and the calls made on it, one at a time.
//
// Any failure that leaves the stream in an unknown state (a lost or timed-out call, a bad
// PDU, a bad signature) marks the connection broken; the owner must not reuse it. A fault
// reply ends its call cleanly and leaves a plain connection usable; a protected one is dropped,
// since faults arrive unverified.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/client/auth_info.h"
#include "rpcrt/client/call_status.h"
#include "rpcrt/client/reply.h"
#include "rpcrt/ndr/data_rep.h"
#include "rpcrt/pdu/pdu.h"
#include "rpcrt/transport/fragment_stream.h"
#include "rpcrt/transport/packet_protection.h"
#include "rpcrt/transport/tcp_socket.h"

namespace rpcrt::client {

// The fragment size we offer and accept.
inline constexpr uint16_t kClientMaxFrag = 5840;

class ClientConnection {
 public:
  // Connects (bounded by connect_timeout_ms, 0 for none) and binds `iface`, authenticating
  // as `auth` says. Throws RpcError with the status of the failure.
  // assoc_group: the association group of the binding's earlier connections (0 for none), so
  // that the server sees one association.
  ClientConnection(const std::string& host, uint16_t port, uint32_t connect_timeout_ms,
                   const AuthInfo& auth, const SyntaxId& iface, uint32_t call_timeout_ms,
                   uint32_t assoc_group = 0);
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  // Calls operation `opnum` of `iface` (adding a presentation context first if this
  // connection has none for it). call_timeout_ms bounds the call from the request's first
  // byte to the reply's last (0: none); expiring fails the call with 1818 and breaks the
  // connection. Replies to earlier calls that arrive meanwhile are passed over.
  Reply Call(const SyntaxId& iface, uint16_t opnum, std::span<const uint8_t> stub,
             const std::optional<Uuid>& object, uint32_t call_timeout_ms);

  // False once broken, or when the idle stream was closed or spoke unasked.
  bool Reusable() const { return !broken_ && !reader_.HasBuffered() && !socket_.IsStale(); }

  uint16_t max_xmit_frag() const { return max_xmit_frag_; }
  // The association group the server put this connection in.
  uint32_t assoc_group() const { return assoc_group_; }

 private:
  [[noreturn]] void Fail(CallFailure failure, const std::string& detail);
  // Binds `iface` as the first presentation context, authenticating when auth_ says so.
  void Establish(const SyntaxId& iface, transport::Deadline deadline);
  // The exchanges of Establish: the bind and its answer, a refusal, an acceptance, and the
  // security legs (alter_context or auth3) until the security context is complete.
  Pdu ExchangeBind(const Pdu& bind, transport::Deadline deadline);
  [[noreturn]] void RejectBind(const BindNak& nak, bool offered_credentials);
  void AcceptBindAck(const Pdu& answer);
  void Authenticate(std::optional<AuthVerifier> server_auth, const SyntaxId& iface,
                    uint16_t context_id, uint32_t call_id, transport::Deadline deadline);
  void SendAuth3(uint32_t call_id, std::vector<uint8_t> token, transport::Deadline deadline);
  Pdu ExchangeAlterContext(const Pdu& alter, transport::Deadline deadline);
  const AlterContextResp& AlterContextAnswer(const Pdu& answer, uint32_t call_id);
  Pdu Decode(std::vector<uint8_t>& bytes);
  uint16_t ContextFor(const SyntaxId& iface, uint32_t call_timeout_ms);
  void AddContext(const SyntaxId& iface, transport::Deadline deadline);
  void CheckContextResult(const std::vector<ContextResult>& results);
  void SendRaw(std::span<const uint8_t> bytes, transport::Deadline deadline);
  transport::Fragment Receive(transport::Deadline deadline);
  AuthVerifier MakeVerifier(std::vector<uint8_t> token) const;
  void SendRequest(transport::FragmentWriter& writer, uint32_t call_id, uint16_t context_id,
                   uint16_t opnum, std::span<const uint8_t> stub, const std::optional<Uuid>& object,
                   size_t max_stub, transport::Deadline deadline);
  Reply ReadReply(uint32_t call_id, uint16_t context_id, transport::Deadline deadline);

  transport::TcpSocket socket_;
  transport::FragmentReader reader_{socket_};
  AuthInfo auth_;
  security::AuthnLevel level_ = security::AuthnLevel::kNone;
  std::unique_ptr<security::SecurityContext> security_;
  std::optional<transport::PacketProtection> protection_;
  bool header_sign_ = false;
  uint16_t max_xmit_frag_ = kClientMaxFrag;
  uint32_t assoc_group_ = 0;
  uint32_t next_call_id_ = 1;
  uint16_t next_context_id_ = 0;
  std::vector<std::pair<SyntaxId, uint16_t>> contexts_;  // interface -> context id
  bool broken_ = false;
};

}  // namespace rpcrt::client
