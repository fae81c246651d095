#include "exc/rethrow.h"

#include <boost/system/system_error.hpp>

#include "exc/exceptions.h"
#include "exc/rpc_exc.h"
#include "exc/string_conv.h"

namespace exc {
namespace {

void add_context(exc_base_t& target, std::string context, bool context_is_trace,
                 std::string_view detail, const exc_properties_t& properties) {
  if (context_is_trace) {
    target.add_trace_line(std::move(context));
  } else {
    target.add_line(std::move(context));
  }
  if (!detail.empty()) target.add_trace_line(std::string(detail));
  target.properties().merge(properties);
}

// Rethrows the exception being handled when it is `e` itself, so that the original object
// (with its dynamic type and the lines just added) travels on; returns otherwise.
void rethrow_if_current(const std::exception& e) {
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& handled) {
    if (&handled == &e) throw;
  } catch (...) {
  }
}

// Throws a copy of `e` of its own class. rpc_exc_t keeps the base rethrow (a copy made through
// the base interface is a plain exc_base_t), so its status would be lost there.
void throw_copy_of_own_class(const exc_base_t& e) {
  if (const auto* rpc = dynamic_cast<const rpc_exc_t*>(&e)) throw rpc_exc_t(*rpc);
  e.rethrow();
}

}  // namespace

void rethrow_with_context_ex(std::string context, bool context_is_trace, std::string_view detail,
                             const exc_properties_t& properties, const std::exception& e) {
  if (const auto* base = dynamic_cast<const exc_base_t*>(&e)) {
    // A caught exception object is never a const object, whatever the handler's type says.
    auto& target = const_cast<exc_base_t&>(*base);
    add_context(target, std::move(context), context_is_trace, detail, properties);
    rethrow_if_current(e);
    // Called outside its handler (from a nested one): a copy of the same class travels on.
    throw_copy_of_own_class(target);
  }

  const char* what = e.what();
  std::string first_line = what ? what : "";
  uint32_t code = 0;
  if (const auto* system_error = dynamic_cast<const boost::system::system_error*>(&e)) {
    first_line = ansi_to_utf8(first_line);
    code = static_cast<uint32_t>(system_error->code().value());
  }
  runtime_exc_t wrapped(std::move(first_line));
  wrapped.set_error_code(code);
  add_context(wrapped, std::move(context), context_is_trace, detail, properties);
  throw wrapped;
}

}  // namespace exc
