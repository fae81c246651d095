// The logon token of a connection with explicit credentials: owns the handle that
// LogonUserExW returned and closes it when cleared or destroyed.
#pragma once

#include "platform/win_types.h"

namespace rpc {

class access_token_t {
 public:
  access_token_t() = default;
  access_token_t(const access_token_t&) = delete;
  access_token_t& operator=(const access_token_t&) = delete;
  ~access_token_t() { Clear(); }

  HANDLE GetHandle() const { return handle_; }
  void Attach(HANDLE handle) noexcept;
  // Gives the handle up without closing it.
  HANDLE Detach() noexcept;
  void Clear() noexcept;

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace rpc
