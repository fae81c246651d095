#include "rpcrt/client/binding.h"

#include <algorithm>
#include <chrono>
#include <list>

#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/status.h"

namespace rpcrt::client {
namespace {

bool SameIdentity(const security::ClientCredentials& a, const security::ClientCredentials& b) {
  if (a.identity.has_value() != b.identity.has_value()) return false;
  if (!a.identity) return true;
  return a.identity->user == b.identity->user && a.identity->domain == b.identity->domain &&
         a.identity->password == b.identity->password;
}

bool SameAuth(const AuthInfo& a, const AuthInfo& b) {
  if (a.enabled() != b.enabled()) return false;
  if (!a.enabled()) return true;
  return a.service == b.service && a.level == b.level && a.principal == b.principal &&
         SameIdentity(a.credentials, b.credentials);
}

// Connections whose binding was freed without dont-linger. Closed lazily once expired: the
// run time starts no threads of its own.
class LingerCache {
 public:
  static LingerCache& Instance() {
    static LingerCache cache;
    return cache;
  }

  void Put(const std::string& host, uint16_t port, const AuthInfo& auth, bool unique,
           std::vector<std::unique_ptr<ClientConnection>> connections) {
    std::vector<std::unique_ptr<ClientConnection>> expired;
    base::MutexLock lock(mutex_);
    Sweep(expired);
    auto until = Clock::now() + std::chrono::milliseconds(kLingerMs);
    for (auto& c : connections)
      entries_.push_back(Entry{host, port, auth, unique, std::move(c), until});
  }

  std::unique_ptr<ClientConnection> Take(const std::string& host, uint16_t port,
                                         const AuthInfo& auth) {
    std::vector<std::unique_ptr<ClientConnection>> expired;
    base::MutexLock lock(mutex_);
    Sweep(expired);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->unique || it->host != host || it->port != port || !SameAuth(it->auth, auth)) continue;
      auto c = std::move(it->connection);
      entries_.erase(it);
      if (c->Reusable()) return c;
      return nullptr;
    }
    return nullptr;
  }

  void Clear() {
    std::list<Entry> gone;
    base::MutexLock lock(mutex_);
    gone.swap(entries_);
  }

  size_t Size() {
    std::vector<std::unique_ptr<ClientConnection>> expired;
    base::MutexLock lock(mutex_);
    Sweep(expired);
    return entries_.size();
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    std::string host;
    uint16_t port;
    AuthInfo auth;
    bool unique;
    std::unique_ptr<ClientConnection> connection;
    Clock::time_point until;
  };
  void Sweep(std::vector<std::unique_ptr<ClientConnection>>& out) REQUIRES(mutex_) {
    auto now = Clock::now();
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->until <= now || !it->connection->Reusable()) {
        out.push_back(std::move(it->connection));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
  }
  base::Mutex mutex_;
  std::list<Entry> entries_ GUARDED_BY(mutex_);
};

}  // namespace

void PrepareLingerCache() {
  LingerCache::Instance();
}

void CloseLingeringConnectionsForTesting() {
  LingerCache::Instance().Clear();
}
size_t LingeringConnectionsForTesting() {
  return LingerCache::Instance().Size();
}

Binding::Binding(const StringBinding& sb) : host_(sb.network_address) {
  if (sb.protseq != kProtseqTcp)
    throw RpcError(kProtseqNotSupported, "protocol sequence '" + sb.protseq + "' is not supported");
  if (!sb.object_uuid.empty()) {
    object_ = Uuid::Parse(sb.object_uuid);
    if (!object_) throw RpcError(kInvalidStringUuid, "object UUID is malformed");
    if (object_->IsNil()) object_.reset();
  }
  if (!sb.endpoint.empty()) {
    auto port = ParseTcpEndpoint(sb.endpoint);
    if (!port) throw RpcError(kInvalidEndpointFormat, "endpoint is not a TCP port");
    settings_.port = *port;
    has_port_ = true;
  }
}

Binding::~Binding() {
  std::vector<std::unique_ptr<ClientConnection>> idle;
  Settings s;
  {
    base::MutexLock lock(mutex_);
    idle.swap(idle_);
    s = settings_;
  }
  if (s.dont_linger || idle.empty()) return;  // dont-linger: the connections close right here
  std::erase_if(idle, [](const auto& c) { return !c->Reusable(); });
  LingerCache::Instance().Put(host_, s.port, *s.auth, s.unique, std::move(idle));
}

std::optional<uint16_t> Binding::port() const {
  base::MutexLock lock(mutex_);
  if (!has_port_) return std::nullopt;
  return settings_.port;
}

void Binding::SetPort(uint16_t port) {
  base::MutexLock lock(mutex_);
  settings_.port = port;
  has_port_ = true;
  idle_.clear();
}

void Binding::SetAuthInfo(AuthInfo auth) {
  std::vector<std::unique_ptr<ClientConnection>> old;
  base::MutexLock lock(mutex_);
  settings_.auth = std::make_shared<const AuthInfo>(std::move(auth));
  old.swap(idle_);  // they speak for the old identity
}

uint32_t Binding::ConnectTimeoutMs(unsigned level) {
  // Roughly the Windows scale: the minimum still allows a slow handshake, the default a
  // congested network, and 10 waits for as long as TCP itself does.
  static constexpr uint32_t kMs[] = {2000,  4000,  6000,   8000,   10000, 30000,
                                     60000, 90000, 120000, 180000, 0};
  return kMs[std::min(level, kComTimeoutInfinite)];
}

void Binding::SetComTimeout(unsigned level) {
  if (level > kComTimeoutInfinite)
    throw RpcError(kInvalidTimeout, "communication time-out must be 0 to 10");
  base::MutexLock lock(mutex_);
  settings_.com_timeout = level;
}

void Binding::SetCallTimeout(uint32_t ms) {
  base::MutexLock lock(mutex_);
  // INFINITE (0xffffffff) and 0 both mean no time-out.
  settings_.call_timeout_ms = ms == 0xffffffffu ? 0 : ms;
}

void Binding::SetUniqueBinding(bool unique) {
  base::MutexLock lock(mutex_);
  settings_.unique = unique;
}

void Binding::SetDontLinger(bool dont_linger) {
  base::MutexLock lock(mutex_);
  settings_.dont_linger = dont_linger;
}

Binding::Settings Binding::Snapshot() const {
  base::MutexLock lock(mutex_);
  return settings_;
}

uint32_t Binding::assoc_group() const {
  base::MutexLock lock(mutex_);
  return assoc_group_;
}

size_t Binding::IdleConnectionsForTesting() const {
  base::MutexLock lock(mutex_);
  return idle_.size();
}

void Binding::SetEndpointMapperPort(uint16_t port) {
  base::MutexLock lock(mutex_);
  settings_.mapper_port = port;
}

void Binding::ResolveEndpoint(const SyntaxId& iface) {
  if (port()) return;
  Settings s = Snapshot();
  uint16_t port = EptMap(host_, s.mapper_port, iface, s.com_timeout, s.call_timeout_ms);
  base::MutexLock lock(mutex_);
  if (!has_port_) {
    settings_.port = port;
    has_port_ = true;
  }
}

std::unique_ptr<ClientConnection> Binding::TakeIdle(const Settings& s) {
  std::vector<std::unique_ptr<ClientConnection>> stale;
  {
    base::MutexLock lock(mutex_);
    while (!idle_.empty()) {
      auto c = std::move(idle_.back());
      idle_.pop_back();
      if (c->Reusable()) return c;
      stale.push_back(std::move(c));
    }
  }
  if (!s.unique) return LingerCache::Instance().Take(host_, s.port, *s.auth);
  return nullptr;
}

void Binding::GiveBack(std::unique_ptr<ClientConnection> connection, const Settings& s) {
  base::MutexLock lock(mutex_);
  // A connection made under settings that have changed since is not handed out again.
  if (s.port != settings_.port || s.auth != settings_.auth) return;
  idle_.push_back(std::move(connection));
}

Reply Binding::Call(const SyntaxId& iface, uint16_t opnum, std::span<const uint8_t> stub) {
  if (!port()) ResolveEndpoint(iface);
  Settings s = Snapshot();
  std::unique_ptr<ClientConnection> connection = TakeIdle(s);
  if (!connection) {
    // The first connection founds the association; concurrent first calls wait for it, so
    // that every connection of the binding joins the same group.
    std::unique_lock first(first_connect_, std::defer_lock);
    if (assoc_group() == 0) first.lock();
    connection =
        std::make_unique<ClientConnection>(host_, s.port, ConnectTimeoutMs(s.com_timeout), *s.auth,
                                           iface, s.call_timeout_ms, assoc_group());
    base::MutexLock lock(mutex_);
    assoc_group_ = connection->assoc_group();
  }
  try {
    Reply reply = connection->Call(iface, opnum, stub, object_, s.call_timeout_ms);
    GiveBack(std::move(connection), s);
    return reply;
  } catch (const RpcError&) {
    if (connection->Reusable()) GiveBack(std::move(connection), s);
    throw;
  }
}

}  // namespace rpcrt::client
