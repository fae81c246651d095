// A malicious DCE/RPC server on a loopback TCP port, for tests of how the client survives one.
//
// It accepts connections one after another on its own thread, reads each PDU with the run
// time's decoder and hands it to a script, which answers with bytes to send and what to do
// next: carry on, close, stall until the client gives up, or trickle the bytes a few per
// second. A script builds its answers with the PDU encoders and then breaks them; the
// session's Behave() is the well-behaved answer (a real NTLM or SPNEGO acceptor for the bind
// legs, an echo, sealed as agreed, for requests) that scripts fall back on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "rpcrt/pdu/pdu.h"
#include "rpcrt/security/security_context.h"
#include "rpcrt/server/security/server_context.h"
#include "rpcrt/server/transport/tcp_listener.h"
#include "rpcrt/transport/packet_protection.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::hostile {

struct Action {
  enum class Then { kContinue, kClose, kStall, kTrickle };
  std::vector<uint8_t> bytes;  // sent first (`chunk` bytes a second with kTrickle)
  Then then = Then::kContinue;
  size_t chunk = 1;
};

struct HostileOptions {
  // The NTLM account ("DOMAIN:user:password") authenticated binds are accepted for; empty:
  // none.
  std::string ntlm_account;
  bool header_sign = true;  // answer the client's header-signing offer
  // What well-behaved requests are answered with; empty: their own stub.
  std::vector<uint8_t> reply_stub;
};

// One accepted connection, as the script sees it.
class Session {
 public:
  Session(int index, const security::ServerCredentials* credentials, const HostileOptions& options)
      : index_(index), credentials_(credentials), options_(options) {}

  int index() const { return index_; }        // connections accepted before this one
  int requests() const { return requests_; }  // requests received before the current one

  // The well-behaved answer: bind_ack / alter_context_resp (running the acceptor), nothing
  // for auth3, and for a request the echo of its stub (or the configured reply stub).
  Action Behave(const Pdu& pdu);
  // A response to `request` carrying `stub`, unprotected.
  Pdu ResponseTo(const Pdu& request, std::vector<uint8_t> stub) const;
  // The response Behave() would send, as a PDU value to break before encoding.
  Pdu DefaultResponse(const Pdu& request) const;
  // Encodes `pdu` protected as the bind agreed (plainly without security); each call uses up
  // one of the acceptor's sequence numbers.
  std::vector<uint8_t> Encode(const Pdu& pdu);
  // Protection at another level than the agreed one, on the same acceptor context.
  std::vector<uint8_t> EncodeAt(const Pdu& pdu, security::AuthnLevel level);

  // Decodes a received fragment, unprotecting requests once security is established.
  Pdu Decode(std::vector<uint8_t>& fragment, PduType type);
  void CountRequest() { ++requests_; }

 private:
  std::optional<AuthVerifier> AcceptorLeg(const Pdu& pdu);

  int index_;
  int requests_ = 0;
  const security::ServerCredentials* credentials_;
  const HostileOptions& options_;
  std::unique_ptr<security::SecurityContext> security_;
  security::AuthnService service_ = security::AuthnService::kNone;
  security::AuthnLevel level_ = security::AuthnLevel::kNone;
  bool header_sign_ = false;
  std::optional<transport::PacketProtection> protection_;
};

using Script = std::function<Action(Session&, const Pdu&)>;

class HostileServer {
 public:
  HostileServer(Script script, HostileOptions options = {});
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  uint16_t port() const { return listener_.port(); }
  int accepted() const;
  // Waits (up to timeout_ms) until `count` connections have been closed by the client or by
  // the script; true if they were.
  bool WaitClosed(int count, int timeout_ms = 5000) const;

 private:
  void Serve();
  void RunSession(transport::TcpSocket& socket, int index);
  // Returns false once the client closed the stream.
  bool Stall(transport::TcpSocket& socket);
  void Trickle(transport::TcpSocket& socket, const std::vector<uint8_t>& bytes, size_t chunk);

  Script script_;
  HostileOptions options_;
  std::optional<testing::TempFile> accounts_file_;
  std::optional<security::ServerCredentials> credentials_;
  transport::TcpListener listener_{"127.0.0.1", 0};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  transport::TcpSocket* current_ = nullptr;
  bool stopping_ = false;
  int accepted_ = 0;
  int closed_ = 0;
  std::thread thread_;
};

// Overwrites the little-endian 16-bit field at `at` of an encoded PDU.
inline void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t v) {
  bytes[at] = static_cast<uint8_t>(v);
  bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A fault answering `request` with `status` (in the request's presentation context).
Pdu FaultFor(const Pdu& request, uint32_t status);

// The same script on every connection but the first, which misbehaves on its first request.
Script OnFirstRequest(std::function<Action(Session&, const Pdu&)> misbehave);
// The same for the first connection's bind.
Script OnFirstBind(std::function<Action(Session&, const Pdu&)> misbehave);
// The first connection's well-behaved bind_ack, changed by `alter` before it is sent.
Script BindAckAltered(std::function<void(Pdu&)> alter);
// The first request's well-behaved response, encoded (and protected) and then broken by
// `mutate`; `then` follows.
Script ReplyMutated(std::function<void(std::vector<uint8_t>&)> mutate,
                    Action::Then then = Action::Then::kContinue);
// The first request's well-behaved response as a value, changed by `alter` before it is
// encoded.
Script ReplyAltered(std::function<void(Pdu&)> alter);
// An unprotected fault with `status` answers the first request.
Script FaultWith(uint32_t status);

// A row of a table of misbehaving servers: the script and what the client ends with, its
// status or the text of its error.
template <typename Expected = Status>
struct ScriptCase {
  const char* name;
  Script script;
  Expected expected;
};

}  // namespace rpcrt::hostile
