#include "platform/rpc_facade.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "rpcrt/base/mutex.h"
#include "rpcrt/client/binding.h"
#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/security/auth_notes.h"
#include "rpcrt/status.h"

namespace {

using rpcrt::client::Binding;

// Live binding handles. A handle is looked up here on every use, so a freed or foreign
// handle is reported as RPC_S_INVALID_BINDING instead of being dereferenced, and a call in
// flight keeps its binding alive while another thread frees the handle. Never destroyed, so
// that a handle freed by an object destroyed at exit is still found and closed.
class HandleTable {
 public:
  static HandleTable& Instance() {
    static HandleTable* table = new HandleTable;
    return *table;
  }
  RPC_BINDING_HANDLE Add(std::shared_ptr<Binding> binding) {
    RPC_BINDING_HANDLE handle = binding.get();
    rpcrt::base::MutexLock lock(mutex_);
    bindings_.emplace(handle, std::move(binding));
    return handle;
  }
  std::shared_ptr<Binding> Find(RPC_BINDING_HANDLE handle) {
    rpcrt::base::MutexLock lock(mutex_);
    auto it = bindings_.find(handle);
    return it == bindings_.end() ? nullptr : it->second;
  }
  bool Remove(RPC_BINDING_HANDLE handle) {
    std::shared_ptr<Binding> gone;  // released after the lock
    rpcrt::base::MutexLock lock(mutex_);
    auto it = bindings_.find(handle);
    if (it == bindings_.end()) return false;
    gone = std::move(it->second);
    bindings_.erase(it);
    return true;
  }

 private:
  rpcrt::base::Mutex mutex_;
  std::unordered_map<RPC_BINDING_HANDLE, std::shared_ptr<Binding>> bindings_ GUARDED_BY(mutex_);
};

rpcrt::SyntaxId SyntaxOf(const RPC_SYNTAX_IDENTIFIER& s) {
  rpcrt::SyntaxId id;
  id.uuid.data1 = s.SyntaxGUID.Data1;
  id.uuid.data2 = s.SyntaxGUID.Data2;
  id.uuid.data3 = s.SyntaxGUID.Data3;
  std::memcpy(id.uuid.data4.data(), s.SyntaxGUID.Data4, 8);
  id.version_major = s.SyntaxVersion.MajorVersion;
  id.version_minor = s.SyntaxVersion.MinorVersion;
  return id;
}

std::u16string Wide(const unsigned short* text, ULONG length) {
  if (text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

std::u16string WideZ(const unsigned short* text) {
  if (text == nullptr) return {};
  const auto* p = reinterpret_cast<const char16_t*>(text);
  return std::u16string(p);
}

const char* Text(RPC_CSTR s) {
  return reinterpret_cast<const char*>(s);
}

template <typename F>
RPC_STATUS Guarded(F&& f) {
  try {
    f();
    return RPC_S_OK;
  } catch (const rpcrt::RpcError& e) {
    return static_cast<RPC_STATUS>(e.status());
  } catch (const std::bad_alloc&) {
    return RPC_S_OUT_OF_MEMORY;
  }
}

}  // namespace

RPC_STATUS RpcStringBindingComposeA(RPC_CSTR ObjUuid, RPC_CSTR ProtSeq, RPC_CSTR NetworkAddr,
                                    RPC_CSTR Endpoint, RPC_CSTR Options, RPC_CSTR* StringBinding) {
  if (StringBinding == nullptr) return RPC_S_INVALID_ARG;
  // Composed as given, without validation: the parse reports what is wrong.
  std::string text;
  if (ObjUuid != nullptr && *ObjUuid != 0) text += std::string(Text(ObjUuid)) + "@";
  if (ProtSeq != nullptr) text += Text(ProtSeq);
  text += ":";
  if (NetworkAddr != nullptr) text += Text(NetworkAddr);
  bool has_endpoint = Endpoint != nullptr && *Endpoint != 0;
  bool has_options = Options != nullptr && *Options != 0;
  if (has_endpoint || has_options) {
    text += "[";
    if (has_endpoint) text += Text(Endpoint);
    if (has_options) text += std::string(",") + Text(Options);
    text += "]";
  }
  auto* block = static_cast<unsigned char*>(std::malloc(text.size() + 1));
  if (block == nullptr) return RPC_S_OUT_OF_MEMORY;
  std::memcpy(block, text.c_str(), text.size() + 1);
  *StringBinding = block;
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeA(RPC_CSTR* String) {
  if (String == nullptr) return RPC_S_INVALID_ARG;
  std::free(*String);
  *String = nullptr;
  return RPC_S_OK;
}

RPC_STATUS RpcBindingFromStringBindingA(RPC_CSTR StringBinding, RPC_BINDING_HANDLE* Binding) {
  if (Binding == nullptr) return RPC_S_INVALID_ARG;
  if (StringBinding == nullptr) return RPC_S_INVALID_STRING_BINDING;
  return Guarded([&] {
    auto parsed = rpcrt::client::StringBinding::Parse(Text(StringBinding));
    auto binding = std::make_shared<rpcrt::client::Binding>(parsed);
    *Binding = HandleTable::Instance().Add(std::move(binding));
  });
}

RPC_STATUS RpcBindingSetAuthInfoW(RPC_BINDING_HANDLE Binding, RPC_WSTR ServerPrincName,
                                  ULONG AuthnLevel, ULONG AuthnSvc,
                                  RPC_AUTH_IDENTITY_HANDLE AuthIdentity, ULONG AuthzSvc) {
  auto binding = HandleTable::Instance().Find(Binding);
  if (!binding) return RPC_S_INVALID_BINDING;
  using Level = rpcrt::security::AuthnLevel;
  using rpcrt::security::AuthnService;
  rpcrt::client::AuthInfo auth;
  switch (AuthnSvc) {
    case RPC_C_AUTHN_NONE:
      binding->SetAuthInfo(auth);
      return RPC_S_OK;
    case RPC_C_AUTHN_GSS_NEGOTIATE:
      auth.service = AuthnService::kGssNegotiate;
      break;
    case RPC_C_AUTHN_WINNT:
    case RPC_C_AUTHN_DEFAULT:
      auth.service = AuthnService::kWinNt;
      break;
    case RPC_C_AUTHN_GSS_KERBEROS:
      auth.service = AuthnService::kGssKerberos;
      break;
    default:
      return RPC_S_UNKNOWN_AUTHN_SERVICE;
  }
  if (AuthzSvc != RPC_C_AUTHZ_NONE) return RPC_S_UNKNOWN_AUTHZ_SERVICE;
  if (AuthnLevel > RPC_C_AUTHN_LEVEL_PKT_PRIVACY) return RPC_S_UNSUPPORTED_AUTHN_LEVEL;
  // The default level of connection-oriented bindings is connect.
  auth.level =
      AuthnLevel == RPC_C_AUTHN_LEVEL_DEFAULT ? Level::kConnect : static_cast<Level>(AuthnLevel);
  auth.principal = WideZ(ServerPrincName);
  if (AuthIdentity != nullptr) {
    const auto* id = static_cast<const SEC_WINNT_AUTH_IDENTITY_W*>(AuthIdentity);
    if (id->Flags != SEC_WINNT_AUTH_IDENTITY_UNICODE) return RPC_S_INVALID_AUTH_IDENTITY;
    if ((id->User == nullptr && id->UserLength != 0) ||
        (id->Domain == nullptr && id->DomainLength != 0) ||
        (id->Password == nullptr && id->PasswordLength != 0))
      return RPC_S_INVALID_AUTH_IDENTITY;
    // The binding keeps its own copy; Identity wipes it when the binding goes.
    auth.credentials.identity.emplace(Wide(id->User, id->UserLength),
                                      Wide(id->Domain, id->DomainLength),
                                      Wide(id->Password, id->PasswordLength));
  }
  binding->SetAuthInfo(std::move(auth));
  return RPC_S_OK;
}

RPC_STATUS RpcEpResolveBinding(RPC_BINDING_HANDLE Binding, RPC_IF_HANDLE IfSpec) {
  auto binding = HandleTable::Instance().Find(Binding);
  if (!binding) return RPC_S_INVALID_BINDING;
  if (IfSpec == nullptr) return RPC_S_INVALID_ARG;
  const auto* iface = static_cast<const RPC_CLIENT_INTERFACE*>(IfSpec);
  return Guarded([&] { binding->ResolveEndpoint(SyntaxOf(iface->InterfaceId)); });
}

RPC_STATUS RpcMgmtSetComTimeout(RPC_BINDING_HANDLE Binding, unsigned int Timeout) {
  auto binding = HandleTable::Instance().Find(Binding);
  if (!binding) return RPC_S_INVALID_BINDING;
  return Guarded([&] { binding->SetComTimeout(Timeout); });
}

RPC_STATUS RpcBindingSetOption(RPC_BINDING_HANDLE Binding, unsigned long Option,
                               ULONG_PTR OptionValue) {
  auto binding = HandleTable::Instance().Find(Binding);
  if (!binding) return RPC_S_INVALID_BINDING;
  switch (Option) {
    case RPC_C_OPT_CALL_TIMEOUT:
      binding->SetCallTimeout(static_cast<uint32_t>(OptionValue));
      return RPC_S_OK;
    case RPC_C_OPT_UNIQUE_BINDING:
      binding->SetUniqueBinding(OptionValue != 0);
      return RPC_S_OK;
    case RPC_C_OPT_DONT_LINGER:
      binding->SetDontLinger(OptionValue != 0);
      return RPC_S_OK;
    default:
      return RPC_S_INVALID_ARG;
  }
}

void PrepareRpcRunTime() {
  HandleTable::Instance();
  rpcrt::client::PrepareLingerCache();
}

namespace platform {

RPC_STATUS SetEndpointMapperPort(RPC_BINDING_HANDLE Binding, uint16_t port) {
  auto binding = HandleTable::Instance().Find(Binding);
  if (!binding) return RPC_S_INVALID_BINDING;
  binding->SetEndpointMapperPort(port);
  return RPC_S_OK;
}

void SetAuthNoteReceiver(AuthNoteReceiver receiver) {
  rpcrt::security::SetAuthNoteReceiver(receiver);
}

}  // namespace platform

RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* Binding) {
  if (Binding == nullptr) return RPC_S_INVALID_ARG;
  if (!HandleTable::Instance().Remove(*Binding)) return RPC_S_INVALID_BINDING;
  *Binding = nullptr;
  return RPC_S_OK;
}

rpcrt::client::Reply RpcSendReceive(RPC_BINDING_HANDLE binding, RPC_IF_HANDLE interface_spec,
                                    uint16_t opnum, std::span<const uint8_t> request) {
  auto b = HandleTable::Instance().Find(binding);
  if (!b) throw rpcrt::RpcError(rpcrt::kInvalidBinding, "not a live binding handle");
  if (interface_spec == nullptr)
    throw rpcrt::RpcError(rpcrt::kErrorInvalidParameter, "no interface");
  const auto* iface = static_cast<const RPC_CLIENT_INTERFACE*>(interface_spec);
  if (SyntaxOf(iface->TransferSyntax) != rpcrt::kNdrSyntax)
    throw rpcrt::RpcError(rpcrt::kUnsupportedTransSyn, "only NDR 2.0 is spoken");
  return b->Call(SyntaxOf(iface->InterfaceId), opnum, request);
}
