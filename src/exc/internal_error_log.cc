#include "exc/internal_error_log.h"

#include "logging/channels.h"

namespace exc {

void log_internal_error(const std::exception& e) noexcept {
  logging::channels::Default().Error(e);
}

}  // namespace exc
