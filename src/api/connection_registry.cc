#include "api/connection_registry.h"

#include <boost/make_shared.hpp>

#include "common/options.h"
#include "exc/exceptions.h"
#include "exc/string_conv.h"
#include "platform/guid.h"
#include "platform/last_error.h"
#include "platform/rpc_facade.h"
#include "rpc/do_rpc_method.h"

namespace api {
namespace {

// A few draws cover a failing random source that recovers; a collision with a live
// identifier is drawn again too, so an identifier is never empty and never shared.
constexpr int kIdentifierAttempts = 4;

}  // namespace

rpcrt::base::RecursiveMutex& RegistryLock() {
  static rpcrt::base::RecursiveMutex lock;
  return lock;
}

// The order of the process-wide objects. Statics are destroyed at exit (or unload) in the
// reverse order of their construction, and the registry must go first: the invokers it still
// holds then free their bindings, close their logon tokens and wipe their password copies,
// which needs the registry lock, the options record, the log channels and the RPC run time's
// objects. The channels are built at load time; the others are built here, before the registry.
// (The platform's binding-handle and logon-token tables are never destroyed.)
CConnectionRegistry& GetConnectionRegistry() {
  rpcrt::base::RecursiveMutexLock guard(RegistryLock());
  static CConnectionRegistry& registry = [&]() -> CConnectionRegistry& {
    common::GetOptions();
    PrepareRpcRunTime();
    static CConnectionRegistry built;
    return built;
  }();
  return registry;
}

std::u16string CConnectionRegistry::NewIdentifier() const {
  DWORD last_status = 0;
  for (int attempt = 0; attempt < kIdentifierAttempts; ++attempt) {
    GUID guid{};
    const HRESULT hr = CoCreateGuid(&guid);
    if (hr != S_OK) {
      last_status = static_cast<DWORD>(hr);
      continue;
    }
    WCHAR* text = nullptr;
    const RPC_STATUS status = UuidToStringW(&guid, &text);
    if (status != RPC_S_OK || text == nullptr) {
      last_status = static_cast<DWORD>(status);
      continue;
    }
    std::u16string id = u"{" + std::u16string(text) + u"}";
    RpcStringFreeW(&text);
    rpcrt::base::RecursiveMutexLock guard(RegistryLock());
    if (connections_.find(id) == connections_.end()) return id;
  }
  throw exc::win_sys_exc_t("Failed to create a connection identifier", last_status);
}

std::u16string CConnectionRegistry::Connect(const std::u16string& host, uint32_t port,
                                            const std::u16string& userName,
                                            const std::u16string& password,
                                            const std::u16string& serviceName) {
  auto invoker = boost::make_shared<rpc::CProxyRpcInvoker>();
  invoker->settings().ServiceName = serviceName;
  invoker->settings().UniqueBinding = !common::GetOptions().UniqueBindingOff;
  invoker->settings().Host = host;
  invoker->settings().Port = port;
  if (!userName.empty()) invoker->LogonUser(userName, password);
  invoker->Connect();

  std::u16string id = NewIdentifier();
  rpcrt::base::RecursiveMutexLock guard(RegistryLock());
  // The identifier was checked free above, but another thread may have drawn the same one
  // in between; emplace keeps the first entry and we must not hand out a shared key.
  if (!connections_.emplace(id, std::move(invoker)).second) {
    throw exc::runtime_exc_t("Failed to register the connection: identifier already in use");
  }
  return id;
}

void CConnectionRegistry::Call(const std::u16string& connectionId, const std::u16string& request1,
                               const std::u16string& request2, std::u16string& answer) {
  boost::shared_ptr<rpc::CProxyRpcInvoker> invoker;
  {
    rpcrt::base::RecursiveMutexLock guard(RegistryLock());
    const auto it = connections_.find(connectionId);
    if (it == connections_.end()) {
      throw exc::runtime_exc_t("Failed to call RPC method. No such connection: %1",
                               exc::wide_to_ansi_nothrow(connectionId));
    }
    invoker = it->second;
  }
  rpc::CDoRpcMethod method(request1.c_str(), request2.c_str());
  invoker->Invoke(method);
  answer = std::move(method.output());
}

void CConnectionRegistry::Disconnect(const std::u16string& connectionId) {
  rpcrt::base::RecursiveMutexLock guard(RegistryLock());
  connections_.erase(connectionId);
}

size_t CConnectionRegistry::size() const {
  rpcrt::base::RecursiveMutexLock guard(RegistryLock());
  return connections_.size();
}

}  // namespace api
