// Where the layers below the logger report an error they cannot throw: an
// exc::CZelqaInternalError when it is created, a destructor that failed. The logger installs
// its global channel here while the library is initialised; until then, and in programs
// without the logger, the reports go nowhere. Never throws.
#pragma once

#include <exception>
#include <string_view>

namespace exc {

struct error_log_t {
  void (*exception)(const std::exception& e) noexcept;
  void (*text)(std::string_view text) noexcept;
};

void set_error_log(error_log_t log) noexcept;

void log_internal_error(const std::exception& e) noexcept;
void log_error_text(std::string_view text) noexcept;

}  // namespace exc
