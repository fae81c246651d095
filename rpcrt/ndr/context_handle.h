// A context handle on the wire: 20 bytes of attributes and a UUID. All zero means null.
#pragma once

#include <cstdint>

#include "rpcrt/ndr/uuid.h"

namespace rpcrt {

struct ContextHandle {
  uint32_t attributes = 0;
  Uuid uuid;

  static constexpr size_t kWireSize = 20;
  bool IsNull() const { return attributes == 0 && uuid.IsNil(); }
  friend bool operator==(const ContextHandle&, const ContextHandle&) = default;
};

}  // namespace rpcrt
