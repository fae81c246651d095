// Most arbitrary input is refused, and the run time refuses with an RpcError: the targets run
// each parser through Refused, so that any other exception still ends the run as a finding.
#pragma once

#include "rpcrt/status.h"

namespace fuzz {

// Whether `f` refused its input with an RpcError.
template <typename F>
bool Refused(F&& f) {
  try {
    f();
  } catch (const rpcrt::RpcError&) {
    return true;
  }
  return false;
}

}  // namespace fuzz
