// Log levels as the logger stores them. There is no threshold: every level is written.
#pragma once

#include <cstdint>

namespace logging {

enum log_level_t : int32_t {
  Verbose = 1,
  Info = 2,
  Warning = 3,
  Error = 4,
};

}  // namespace logging
