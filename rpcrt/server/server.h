// A connection-oriented DCE/RPC server: listens on IPv4 and IPv6, accepts associations for
// the interfaces registered with it, dispatches requests to their handlers and answers with
// responses fragmented to the negotiated size, or with faults.
//
// One thread accepts and one thread serves each connection; Stop() wakes and joins all of
// them, so no thread outlives it. A stopped server can be started again on the same port.
// FaultControls let tests make the server misbehave the way real servers and networks do.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "rpcrt/base/mutex.h"
#include "rpcrt/ndr/data_rep.h"
#include "rpcrt/pdu/syntax.h"
#include "rpcrt/security/security_context.h"
#include "rpcrt/server/security/server_context.h"
#include "rpcrt/server/transport/tcp_listener.h"
#include "rpcrt/status.h"

namespace rpcrt::server {

// What a handler sees of one call.
struct CallContext {
  uint16_t opnum = 0;
  std::span<const uint8_t> stub;
  DataRep drep;
  std::optional<Uuid> object;
  std::string peer_name;       // "DOMAIN\\user" on an authenticated connection, else empty
  std::string client_address;  // "ADDR:PORT" ("[ADDR]:PORT" for IPv6) of the caller's end
  security::AuthnLevel level = security::AuthnLevel::kNone;
};

// Returns the reply stub. Throwing RpcError answers with a fault that the client reads as the
// same status (RPC_S_CALL_FAILED goes out as nca_s_fault_unspec); any other exception with a
// fault of nca_s_fault_unspec.
using Handler = std::function<std::vector<uint8_t>(const CallContext&)>;

// A bind refused, an authentication that failed or a protected request that did not verify.
struct Rejection {
  // "bind refused", "presentation contexts refused", "authentication failed", "request refused"
  std::string what;
  std::string client_address;  // as in CallContext
  std::string reason;
};

struct ServerOptions {
  std::string address = "127.0.0.1";      // empty: every local address of both families
  uint16_t port = 0;                      // 0: a free port
  uint16_t max_frag = 5840;               // largest fragment we send and accept
  size_t max_request = size_t{64} << 20;  // largest request stub assembled; larger ones fault
  // Accept authenticated binds with these credentials; without, binds that carry a security
  // trailer are refused.
  std::optional<security::ServerCredentials> credentials;
  // Connections open at once. 0: no limit. At the limit a new connection takes the place of
  // the oldest one that is not authenticated or waits between calls; with none such, the new
  // one is closed as soon as it is accepted.
  size_t max_connections = 0;
  // Deadlines in milliseconds, 0 for none: from accept until the bind, and its
  // authentication when it asks for one, is done; from a fragment's first byte to its last;
  // for the next call to begin. A connection that misses one is closed.
  uint32_t bind_timeout_ms = 10000;
  uint32_t pdu_timeout_ms = 10000;
  uint32_t idle_timeout_ms = 300000;
  // The largest request stub assembled on a connection without an authenticated security
  // context, and the bytes of requests being assembled on all connections together (0: no
  // limit). Beyond either the call fails at once and its remaining fragments are read past.
  size_t max_unauthenticated_request = size_t{64} << 20;
  size_t max_requests_held = 0;
  // Told of every rejection, from the connection's thread (so from several at once).
  std::function<void(const Rejection&)> on_rejected;
};

// The fault status a handler's RpcError goes out with, chosen so that a client maps it back
// onto the same status.
uint32_t HandlerFaultStatus(Status status);

// Misbehaviour on demand. Every field applies to the calls that begin after it is set.
struct FaultControls {
  std::atomic<uint32_t> delay_reply_ms{0};    // wait this long before answering
  std::atomic<bool> drop_before_read{false};  // close instead of reading the next request
  std::atomic<bool> drop_after_read{false};   // read the whole request, then close
  std::atomic<uint32_t> fault_status{0};      // non-zero: answer every call with this fault
  std::atomic<bool> refuse{false};            // reset every new connection at once
  // On protected connections: flip a bit of each response's signature, or send responses
  // without protection at all.
  std::atomic<bool> corrupt_signature{false};
  std::atomic<bool> send_unprotected{false};
};

class Server {
 public:
  explicit Server(ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Handles operations 0 .. opnum_count - 1 of `iface`; others get nca_s_op_rng_error.
  // Calls on a connection below `min_level` are refused with access denied.
  void RegisterInterface(const SyntaxId& iface, uint16_t opnum_count, Handler handler,
                         security::AuthnLevel min_level = security::AuthnLevel::kNone);

  // Starts listening (on the port of the previous run after a Stop, when it had one).
  // Throws transport::TransportError when the port cannot be bound.
  void Start();
  // Stops accepting, closes every connection and joins every thread. Idempotent.
  void Stop();

  uint16_t port() const { return port_; }
  FaultControls& FaultsForTesting() { return faults_; }
  // Connections currently open, and accepted since construction.
  size_t open_connections() const;
  size_t accepted_connections() const { return accepted_.load(); }
  // Bytes of requests being assembled now, on all connections.
  size_t requests_held() const { return held_.load(); }
  // Association groups issued since construction.
  size_t association_groups();

 private:
  struct Interface {
    SyntaxId id;
    uint16_t opnum_count;
    Handler handler;
    security::AuthnLevel min_level;
  };
  struct Connection;
  class Session;

  void AcceptLoop();
  // Makes room for one more connection at the limit; false when every connection is busy.
  bool MakeRoom() REQUIRES(mutex_);
  void Serve(Connection& connection);
  void ReapFinished();
  void WaitOrStop(uint32_t ms);
  const Interface* FindInterface(const SyntaxId& id) const;
  // The group a bind joins: the one it names when this server issued it, else a new one.
  uint32_t JoinAssocGroup(uint32_t requested);

  ServerOptions options_;
  uint16_t port_ = 0;
  FaultControls faults_;
  std::vector<Interface> interfaces_;  // fixed while running
  std::unique_ptr<transport::TcpListener> listener_;
  std::jthread acceptor_;
  mutable base::Mutex mutex_;
  std::list<std::unique_ptr<Connection>> connections_ GUARDED_BY(mutex_);
  bool stopping_ GUARDED_BY(mutex_) = false;
  std::atomic<size_t> accepted_{0};
  std::atomic<size_t> held_{0};
  base::Mutex groups_mutex_;
  std::vector<uint32_t> assoc_groups_ GUARDED_BY(groups_mutex_);
  uint32_t next_assoc_group_ GUARDED_BY(groups_mutex_) = 0x1000;
  std::condition_variable delay_cv_;  // with mutex_: wakes delayed replies at Stop
};

}  // namespace rpcrt::server
