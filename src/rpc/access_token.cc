#include "rpc/access_token.h"

#include "platform/logon.h"

namespace rpc {

void access_token_t::Attach(HANDLE handle) noexcept {
  Clear();
  handle_ = handle;
}

HANDLE access_token_t::Detach() noexcept {
  HANDLE handle = handle_;
  handle_ = nullptr;
  return handle;
}

void access_token_t::Clear() noexcept {
  if (handle_ != nullptr) CloseTokenHandle(Detach());
}

}  // namespace rpc
