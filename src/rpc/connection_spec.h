// The settings of one connection and their text form for the log.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace rpc {

struct rpc_connection_spec_t {
  std::u16string Host;
  std::u16string ServiceName;
  uint32_t Port = 0;  // 0: the endpoint mapper supplies the endpoint
  BOOL CurrentUser = 1;
  bool UniqueBinding = true;
  uint32_t RequestTimeout = 3600;  // seconds
};

// "Host: ..., ServiceName: ..., Port: ..., CurrentUser: ..., SecureChannel: true,
// UniqueBinding: ..., RequestTimeout: ..."
std::string FormatConnectionSpec(const rpc_connection_spec_t& spec);

}  // namespace rpc
