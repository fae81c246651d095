// A client binding: where a server is (host and TCP port), how to authenticate to it, the
// binding options, and the connections that carry its calls.
//
// Calls on one binding may run from many threads at once: each takes an idle connection or
// opens a new one, and hands it back when the call left it in step. Connections that
// outlive their binding linger for a short while (and may be taken over by a later binding
// to the same server with the same security, unless either is unique), or close at once
// with the dont-linger option.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/base/mutex.h"
#include "rpcrt/client/auth_info.h"
#include "rpcrt/client/client_connection.h"
#include "rpcrt/client/string_binding.h"
#include "rpcrt/pdu/syntax.h"

namespace rpcrt::client {

// The communication time-out scale of RpcMgmtSetComTimeout: 0 (minimum) to 10 (infinite).
inline constexpr unsigned kComTimeoutMin = 0;
inline constexpr unsigned kComTimeoutDefault = 5;
inline constexpr unsigned kComTimeoutInfinite = 10;

// How long an idle connection of a freed binding stays open.
inline constexpr uint32_t kLingerMs = 10000;

class Binding {
 public:
  // From a parsed string binding; throws RpcError on a bad one.
  explicit Binding(const StringBinding& string_binding);
  ~Binding();
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;

  const std::string& host() const { return host_; }
  std::optional<uint16_t> port() const;
  void SetPort(uint16_t port);

  void SetAuthInfo(AuthInfo auth);
  // 0..10; anything else throws RpcError(1709).
  void SetComTimeout(unsigned level);
  // Milliseconds, 0 for none.
  void SetCallTimeout(uint32_t ms);
  void SetUniqueBinding(bool unique);
  void SetDontLinger(bool dont_linger);

  // Where ResolveEndpoint asks: the host's endpoint mapper on its own port (135) unless
  // this moves it; 0 moves it back.
  void SetEndpointMapperPort(uint16_t port);
  // Fills in the endpoint from the host's endpoint mapper when the binding has none.
  void ResolveEndpoint(const SyntaxId& iface);

  // Calls `opnum` of `iface` and returns the reply; throws RpcError with the status Windows
  // would raise.
  Reply Call(const SyntaxId& iface, uint16_t opnum, std::span<const uint8_t> stub);

  // Idle connections held now.
  size_t IdleConnectionsForTesting() const;
  // The association group of the latest connection (0 before the first).
  uint32_t assoc_group() const;

  // Connect time-out in milliseconds for a communication time-out level (0: none).
  static uint32_t ConnectTimeoutMs(unsigned level);

 private:
  struct Settings {
    uint16_t port = 0;
    uint16_t mapper_port = 0;  // 0: the mapper's own port
    // Shared, not copied, by the snapshot each call takes: the texts and credentials it
    // holds would cost allocations per call, and a change replaces it whole.
    std::shared_ptr<const AuthInfo> auth = std::make_shared<const AuthInfo>();
    unsigned com_timeout = kComTimeoutDefault;
    uint32_t call_timeout_ms = 0;
    bool unique = false;
    bool dont_linger = false;
  };
  Settings Snapshot() const EXCLUDES(mutex_);
  std::unique_ptr<ClientConnection> TakeIdle(const Settings& s) EXCLUDES(mutex_);
  void GiveBack(std::unique_ptr<ClientConnection> connection, const Settings& s) EXCLUDES(mutex_);

  std::string host_;
  std::optional<Uuid> object_;
  mutable base::Mutex mutex_;
  Settings settings_ GUARDED_BY(mutex_);
  bool has_port_ GUARDED_BY(mutex_) = false;
  uint32_t assoc_group_ GUARDED_BY(mutex_) = 0;  // of the latest connection; later ones join it
  base::Mutex first_connect_;                    // held while the first connection is being set up
  std::vector<std::unique_ptr<ClientConnection>> idle_ GUARDED_BY(mutex_);
};

// Builds the process-wide cache of lingering connections now, so that it outlives the objects
// built after it that free bindings at exit.
void PrepareLingerCache();

// Drops every lingering connection now (and with them their sockets).
void CloseLingeringConnectionsForTesting();
// Lingering connections held now.
size_t LingeringConnectionsForTesting();

}  // namespace rpcrt::client
