// Where an exc::CZelqaInternalError reports itself when it is created: the library's global
// log channel. Never throws.
#pragma once

#include <exception>

namespace exc {

void log_internal_error(const std::exception& e) noexcept;

}  // namespace exc
