// The process-wide table of open connections, keyed by connection identifier.
//
// Only the table operations run under the registry lock; logon, connecting and remote calls
// run outside it, so a slow server blocks only its own connection. An entry's invoker lives
// as long as the registry or a call under way holds a reference to it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <boost/shared_ptr.hpp>

#include "rpc/proxy_rpc_invoker.h"
#include "rpcrt/base/mutex.h"

namespace api {

// The registry lock: recursive, like the critical section it stands for.
rpcrt::base::RecursiveMutex& RegistryLock();

class CConnectionRegistry {
 public:
  // Builds, logs on (when userName is not empty), connects and registers a new connection;
  // returns its identifier. Nothing is registered when any step fails.
  std::u16string Connect(const std::u16string& host, uint32_t port, const std::u16string& userName,
                         const std::u16string& password, const std::u16string& serviceName);

  // Calls DoRpc on the connection; raises "Failed to call RPC method. No such connection: %1"
  // for an identifier that is not registered.
  void Call(const std::u16string& connectionId, const std::u16string& request1,
            const std::u16string& request2, std::u16string& answer);

  // Removes the entry, if there is one, under the registry lock (the caller may hold it).
  void Disconnect(const std::u16string& connectionId);

  // Number of registered connections (for tests and diagnostics).
  size_t size() const;

 private:
  std::u16string NewIdentifier() const;

  std::map<std::u16string, boost::shared_ptr<rpc::CProxyRpcInvoker>> connections_
      GUARDED_BY(RegistryLock());
};

// The one registry of the process, created on first use.
CConnectionRegistry& GetConnectionRegistry();

}  // namespace api
