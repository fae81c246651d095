// How the message layer reports a failure: an exc::runtime_exc_t whose one line is the
// formatted message.
#pragma once

#include <string>
#include <string_view>

#include "exc/exceptions.h"
#include "exc/format_message.h"

namespace io::message {

// Formats `format` with %1..%N / "{}" placeholders and raises it as exc::runtime_exc_t.
template <class... Args>
[[noreturn]] void RaiseError(std::string_view format, const Args&... args) {
  throw exc::runtime_exc_t(exc::format_message(format, args...));
}

}  // namespace io::message
