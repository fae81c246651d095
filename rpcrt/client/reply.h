// What a call brings back: the stub of its reply and the data representation it is written
// in. The Windows build's facade returns the same type from the system's run time.
#pragma once

#include <cstdint>
#include <vector>

#include "rpcrt/ndr/data_rep.h"

namespace rpcrt::client {

struct Reply {
  std::vector<uint8_t> stub;
  DataRep drep;
};

}  // namespace rpcrt::client
