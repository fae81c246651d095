// The process-wide options record: tuning options with built-in defaults.
//
// The record is created on the first call of GetOptions() and only read afterwards, so
// readers on any thread need no lock. At creation, an administrator may override an option
// with a registry value of the option's exact name under
// HKEY_LOCAL_MACHINE\<ProductKey>: REG_DWORD for numbers and flags (non-zero = true);
// values of another type are ignored.
#pragma once

#include <cstdint>
#include <string>

#include "logging/registry_keys.h"

namespace common {

struct options_t {
  // The key under which the library's registry values are looked up (HKEY_LOCAL_MACHINE).
  std::u16string ProductKey = logging::kProductKey;
  // The highest attempt index after which a failed call may still be repeated.
  uint32_t RpcRetryCount = 10;
  // Minimum distance in milliseconds between the starts of two attempts.
  uint32_t RpcRetryIntervalMs = 10000;
  // Reconnect before every repeated attempt.
  bool RpcReconnectOnRetry = false;
  // A new connection binds uniquely unless this is set.
  bool UniqueBindingOff = false;
  // Copied into the common library context when it is built.
  uint32_t CommonLibCtxSetting = 60;
  // Log the connect trace in full and the SPN in use.
  bool RpcVerboseLog = false;
  // Treat access-denied statuses as reasons to reconnect.
  bool RpcRetryOnAccessDenied = false;
  // The TCP port of the endpoint mapper.
  uint32_t RpcEndpointMapperPort = 135;
};

// The one record, created with its defaults and registry overrides on the first call
// (thread-safe one-time initialisation).
const options_t& GetOptions();

// Rebuilds the record from the defaults and the registry store as it is now. Not safe while
// another thread reads the record.
void ReloadOptionsForTesting();

}  // namespace common
