// Owners of run-time objects (a binding handle, a string binding) and the construction of a
// configured binding from a connection's settings.
#pragma once

#include <memory>

#include "platform/rpc_facade.h"
#include "rpc/connection_spec.h"

namespace rpc {

// Owns one binding handle; moved, never copied. Freeing failures are logged, never raised.
class rpc_binding_t {
 public:
  rpc_binding_t() = default;
  explicit rpc_binding_t(RPC_BINDING_HANDLE handle) : handle_(handle) {}
  rpc_binding_t(rpc_binding_t&& other) noexcept : handle_(other.release()) {}
  rpc_binding_t& operator=(rpc_binding_t&& other) noexcept;
  rpc_binding_t(const rpc_binding_t&) = delete;
  rpc_binding_t& operator=(const rpc_binding_t&) = delete;
  ~rpc_binding_t() { reset(); }

  RPC_BINDING_HANDLE get() const { return handle_; }
  RPC_BINDING_HANDLE* address() { return &handle_; }
  RPC_BINDING_HANDLE release() noexcept;
  void reset() noexcept;

 private:
  RPC_BINDING_HANDLE handle_ = nullptr;
};

// Owns one narrow string that the run time allocated.
class rpc_string_t {
 public:
  rpc_string_t() = default;
  rpc_string_t(const rpc_string_t&) = delete;
  rpc_string_t& operator=(const rpc_string_t&) = delete;
  ~rpc_string_t();

  RPC_CSTR* address() { return &str_; }
  const char* c_str() const { return reinterpret_cast<const char*>(str_); }

 private:
  RPC_CSTR str_ = nullptr;
};

// A binding composed, authenticated (Negotiate, packet privacy), resolved and configured
// from the settings; identity is used when settings.CurrentUser is 0. Raises the failing step's
// exc::win_sys_exc_t; optional steps that fail are logged and skipped.
std::unique_ptr<rpc_binding_t> CreateRpcBinding(SEC_WINNT_AUTH_IDENTITY_W& identity,
                                                const rpc_connection_spec_t& settings,
                                                RPC_IF_HANDLE interface_spec);

}  // namespace rpc
