#include "rpc/connection_spec.h"

#include "exc/format_message.h"

namespace rpc {

std::string FormatConnectionSpec(const rpc_connection_spec_t& settings) {
  // Every binding is authenticated at packet privacy, so the channel is always secure.
  constexpr bool kSecureChannel = true;
  return exc::format_message(
      "Host: {}, ServiceName: {}, Port: {}, CurrentUser: {}, SecureChannel: {}, "
      "UniqueBinding: {}, RequestTimeout: {}",
      settings.Host, settings.ServiceName, static_cast<int32_t>(settings.Port),
      static_cast<int32_t>(settings.CurrentUser), kSecureChannel, settings.UniqueBinding,
      static_cast<int32_t>(settings.RequestTimeout));
}

}  // namespace rpc
