// Adding a line of context to a caught exception and throwing it on.
//
// Call inside a catch block with the caught exception: an exception of this library gets the
// line and is rethrown as itself (its dynamic type stays); any other std::exception becomes
// an exc::runtime_exc_t whose first line is its what() (with the code of a
// boost::system::system_error). So lines read from the innermost failure to the outermost
// context.
//
//   catch (const std::exception& e) { exc::rethrow_with_context("Failed to open [%1]", p, e); }
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "exc/exc_base.h"
#include "exc/format_message.h"

namespace exc {

// The general form: the context as a plain or trace line, then detail (if not empty) as a
// trace line; properties are merged into the exception's own.
[[noreturn]] void rethrow_with_context_ex(std::string context, bool context_is_trace,
                                          std::string_view detail,
                                          const exc_properties_t& properties,
                                          const std::exception& e);

[[noreturn]] inline void rethrow_with_context(std::string_view text, const std::exception& e) {
  rethrow_with_context_ex(std::string(text), false, {}, {}, e);
}
template <class A1>
[[noreturn]] void rethrow_with_context(std::string_view format, const A1& a1,
                                       const std::exception& e) {
  rethrow_with_context_ex(format_message(format, a1), false, {}, {}, e);
}
template <class A1, class A2>
[[noreturn]] void rethrow_with_context(std::string_view format, const A1& a1, const A2& a2,
                                       const std::exception& e) {
  rethrow_with_context_ex(format_message(format, a1, a2), false, {}, {}, e);
}
template <class A1, class A2, class A3>
[[noreturn]] void rethrow_with_context(std::string_view format, const A1& a1, const A2& a2,
                                       const A3& a3, const std::exception& e) {
  rethrow_with_context_ex(format_message(format, a1, a2, a3), false, {}, {}, e);
}

// The same with the context added as a trace line.
[[noreturn]] inline void rethrow_with_trace_context(std::string_view text,
                                                    const std::exception& e) {
  rethrow_with_context_ex(std::string(text), true, {}, {}, e);
}
template <class A1>
[[noreturn]] void rethrow_with_trace_context(std::string_view format, const A1& a1,
                                             const std::exception& e) {
  rethrow_with_context_ex(format_message(format, a1), true, {}, {}, e);
}
template <class A1, class A2, class A3>
[[noreturn]] void rethrow_with_trace_context(std::string_view format, const A1& a1, const A2& a2,
                                             const A3& a3, const std::exception& e) {
  rethrow_with_context_ex(format_message(format, a1, a2, a3), true, {}, {}, e);
}

}  // namespace exc
