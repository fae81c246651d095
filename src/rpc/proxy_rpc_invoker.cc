#include "rpc/proxy_rpc_invoker.h"

#include "exc/exceptions.h"
#include "exc/string_conv.h"
#include "logging/channels.h"
#include "platform/last_error.h"
#include "platform/logon.h"
#include "platform/secure_memory.h"
#include "rpc/account_name.h"
#include "rpc/do_rpc_stub.h"

namespace rpc {
namespace {

void wipe(std::u16string& secret) noexcept {
  platform::SecureWipe(secret.data(), secret.size() * sizeof(char16_t));
  secret.clear();
}

}  // namespace

CProxyRpcInvoker::CProxyRpcInvoker() : interface_(DoRpcInterfaceSpec()) {
  identity_.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
}

CProxyRpcInvoker::~CProxyRpcInvoker() {
  Disconnect();
  wipe(password_);
}

bool CProxyRpcInvoker::connected() const {
  rpcrt::base::ReaderLock guard(lock_);
  return binding_ != nullptr;
}

void CProxyRpcInvoker::LogonUser(const std::u16string& account, const std::u16string& password) {
  account_name_t name = split_account_name(account);
  settings_.CurrentUser = 0;
  wipe(password_);
  domain_ = std::move(name.domain);
  user_ = std::move(name.user);
  password_ = password;
  identity_.User = reinterpret_cast<unsigned short*>(user_.data());
  identity_.UserLength = static_cast<ULONG>(user_.size());
  identity_.Domain = reinterpret_cast<unsigned short*>(domain_.data());
  identity_.DomainLength = static_cast<ULONG>(domain_.size());
  identity_.Password = reinterpret_cast<unsigned short*>(password_.data());
  identity_.PasswordLength = static_cast<ULONG>(password_.size());

  token_.Clear();
  HANDLE token = nullptr;
  if (!LogonUserExW(user_.c_str(), domain_.c_str(), password_.c_str(),
                    LOGON32_LOGON_NEW_CREDENTIALS, LOGON32_PROVIDER_DEFAULT, &token, nullptr,
                    nullptr, nullptr, nullptr)) {
    const DWORD code = GetLastError();
    throw exc::win_sys_exc_t("Failed to logon user [%1]", exc::wide_to_utf8(account), code);
  }
  token_.Attach(token);
}

void CProxyRpcInvoker::Install(std::unique_ptr<rpc_binding_t> binding) {
  // The old binding is freed after the new one is in place.
  std::unique_ptr<rpc_binding_t> previous = std::move(binding_);
  binding_ = std::move(binding);
  dont_linger_applied_ = false;
  previous.reset();
}

void CProxyRpcInvoker::Connect() {
  rpcrt::base::WriterLock guard(lock_);
  Install(CreateRpcBinding(identity_, settings_, interface_));
}

void CProxyRpcInvoker::Reconnect() {
  rpcrt::base::WriterLock guard(lock_);
  logging::channels::Default().Info("Reconnecting...");
  binding_.reset();
  Install(CreateRpcBinding(identity_, settings_, interface_));
}

void CProxyRpcInvoker::EnsureConnected(bool& connected) {
  {
    rpcrt::base::ReaderLock guard(lock_);
    if (binding_ != nullptr) return;
  }
  Connect();
  connected = true;
}

void CProxyRpcInvoker::Disconnect() noexcept {
  std::unique_ptr<rpc_binding_t> binding;
  try {
    rpcrt::base::WriterLock guard(lock_);
    binding = std::move(binding_);
  } catch (...) {
    // Locking can only fail if the lock is broken; the binding then stays and goes with us.
  }
  binding.reset();
}

}  // namespace rpc
