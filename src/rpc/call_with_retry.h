// The rules of the remote call loop (CProxyRpcInvoker::CallWithRetry and Invoke): which
// failed attempts are tried again, after a reconnect or on the same binding, and which end
// the call.
#pragma once

#include <cstdint>

namespace rpc {

enum class status_class_t {
  kFinal,          // the call fails with this status
  kReconnectable,  // worth another attempt on a new binding (when reconnects are allowed)
  kRetryable,      // worth another attempt on the same binding
};

// Access denied is reconnectable only when the options say RpcRetryOnAccessDenied.
status_class_t Classify(uint32_t status);

}  // namespace rpc
