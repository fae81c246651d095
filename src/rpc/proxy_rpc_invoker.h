// One connection: its settings, its explicit credentials, its binding, and the remote call
// with retries and reconnects.
//
// The reader-writer lock orders binding changes against calls: Connect, Reconnect and
// Disconnect take it exclusively, each call attempt takes it shared. It is not recursive.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/rpc_facade.h"
#include "rpc/access_token.h"
#include "rpc/connection_spec.h"
#include "rpc/rpc_binding.h"
#include "rpc/rpc_method.h"
#include "rpcrt/base/mutex.h"

namespace rpc {

class CProxyRpcInvoker {
 public:
  CProxyRpcInvoker();
  CProxyRpcInvoker(const CProxyRpcInvoker&) = delete;
  CProxyRpcInvoker& operator=(const CProxyRpcInvoker&) = delete;
  ~CProxyRpcInvoker();

  rpc_connection_spec_t& settings() { return settings_; }
  const rpc_connection_spec_t& settings() const { return settings_; }
  const SEC_WINNT_AUTH_IDENTITY_W& identity() const { return identity_; }
  HANDLE token() const { return token_.GetHandle(); }
  bool connected() const;

  // Switches the connection to explicit credentials and logs them on (new-credentials
  // logon); raises exc::win_sys_exc_t "Failed to logon user [%1]" on failure.
  void LogonUser(const std::u16string& account, const std::u16string& password);

  // Builds a binding from the settings and installs it; the previous binding (if any) stays
  // when building fails.
  void Connect();
  // Frees the binding and builds a new one; on failure the invoker has no binding.
  void Reconnect();
  // Connects when there is no binding, and then sets connected to true.
  void EnsureConnected(bool& connected);
  // Removes and frees the binding. Never raises.
  void Disconnect() noexcept;

  // Performs the call with its retries; returns when the server performed the request,
  // raises otherwise.
  void Invoke(rpc::IRpcMethod& method);
  // The status of the last attempt (0 when an attempt succeeded).
  uint32_t CallWithRetry(rpc::IRpcMethod& method);

 private:
  // One attempt on the current binding under the shared lock; applies dont-linger once per
  // binding. Returns the attempt's status.
  uint32_t Attempt(rpc::IRpcMethod& method);
  void Install(std::unique_ptr<rpc_binding_t> binding) REQUIRES(lock_);

  mutable rpcrt::base::SharedMutex lock_;
  RPC_IF_HANDLE interface_;
  SEC_WINNT_AUTH_IDENTITY_W identity_{};
  std::u16string domain_;
  std::u16string user_;
  std::u16string password_;
  rpc_connection_spec_t settings_;
  std::unique_ptr<rpc_binding_t> binding_ GUARDED_BY(lock_);
  // Written by attempts that run side by side under the shared lock.
  std::atomic<bool> dont_linger_applied_{false};
  access_token_t token_;
};

}  // namespace rpc
