// An endpoint mapper: answers ept_map and ept_lookup from the interfaces registered with it,
// on a port of the caller's choosing (135 needs privileges that tests do not have).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rpcrt/base/mutex.h"
#include "rpcrt/ndr/uuid.h"
#include "rpcrt/pdu/syntax.h"
#include "rpcrt/server/server.h"

namespace rpcrt::server {

class EndpointMapperServer {
 public:
  explicit EndpointMapperServer(ServerOptions options);

  void Register(const SyntaxId& iface, uint16_t port, std::string annotation = {},
                const Uuid& object = {});
  void Unregister(const SyntaxId& iface);

  void Start() { server_.Start(); }
  void Stop() { server_.Stop(); }
  uint16_t port() const { return server_.port(); }

 private:
  struct Entry {
    SyntaxId iface;
    uint16_t port;
    std::string annotation;
    Uuid object;
  };
  std::vector<uint8_t> Map(const CallContext& call);
  std::vector<uint8_t> Lookup(const CallContext& call);
  std::vector<uint8_t> TowerOf(const Entry& e) const;

  base::Mutex mutex_;
  std::vector<Entry> entries_ GUARDED_BY(mutex_);
  std::array<uint8_t, 4> address_{127, 0, 0, 1};
  Server server_;
};

}  // namespace rpcrt::server
