// A remote call as an object: how to call one procedure over a binding, its name, whether it
// may be repeated, and how to turn the server's reply into success or an exception.
#pragma once

#include <string>

#include "platform/rpc_facade.h"

namespace rpc {

class IRpcMethod {
 public:
  virtual ~IRpcMethod() = default;
  // One attempt over the binding; failures are raised as the run time raises them.
  virtual void Execute(RPC_BINDING_HANDLE binding) = 0;
  virtual std::string GetName() const = 0;
  // Raises the server's error when the last attempt's reply says failure.
  virtual void CheckResult() = 0;
  virtual bool IsRetryAllowed() const = 0;
};

}  // namespace rpc
