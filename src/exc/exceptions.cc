#include "exc/exceptions.h"

#include <boost/make_shared.hpp>

#include "exc/buf_io.h"
#include "exc/error_text.h"
#include "exc/internal_error_log.h"

namespace exc {

runtime_exc_t::~runtime_exc_t() = default;

boost::shared_ptr<exc_base_t> runtime_exc_t::clone() const {
  return boost::make_shared<runtime_exc_t>(*this);
}

void runtime_exc_t::rethrow() const {
  throw runtime_exc_t(*this);
}

// Loads into a copy so that a record cut short leaves the object as it was.
void runtime_exc_t::load(CBufReader& reader) {
  runtime_exc_t loaded(*this);
  loaded.exc_base_t::load(reader);
  loaded.error_code_ = reader.read_u32();
  *this = std::move(loaded);
}

void runtime_exc_t::save(CBufWriter& writer) const {
  exc_base_t::save(writer);
  writer.write_u32(error_code_);
}

win_sys_exc_t::win_sys_exc_t(uint32_t code) : exc_base_t(get_error_text(code)), error_code_(code) {
  add_trace_line("Error code: " + to_hex_text(code));
}

win_sys_exc_t::win_sys_exc_t(std::string_view text, uint32_t code)
    : exc_base_t(get_error_text(code)), error_code_(code) {
  add_line(std::string(text));
  add_trace_line("Error code: " + to_hex_text(code));
}

win_sys_exc_t::~win_sys_exc_t() = default;

boost::shared_ptr<exc_base_t> win_sys_exc_t::clone() const {
  return boost::make_shared<win_sys_exc_t>(*this);
}

void win_sys_exc_t::rethrow() const {
  throw win_sys_exc_t(*this);
}

void win_sys_exc_t::load(CBufReader& reader) {
  win_sys_exc_t loaded;  // a default object of the loading thread, code 0
  loaded.exc_base_t::load(reader);
  loaded.error_code_ = reader.read_u32();
  *this = std::move(loaded);
}

void win_sys_exc_t::save(CBufWriter& writer) const {
  exc_base_t::save(writer);
  writer.write_u32(error_code_);
}

CZelqaInternalError::CZelqaInternalError(std::string text) : exc_base_t(std::move(text)) {
  add_trace_line("[ZelqaInternalError]");
  add_stack_trace();
  log_internal_error(*this);
}

CZelqaInternalError::~CZelqaInternalError() = default;

boost::shared_ptr<exc_base_t> CZelqaInternalError::clone() const {
  return boost::make_shared<CZelqaInternalError>(*this);
}

void CZelqaInternalError::rethrow() const {
  throw CZelqaInternalError(*this);
}

CRuntimeExcWithStack::CRuntimeExcWithStack(std::string message) : exc_base_t(std::move(message)) {
  add_stack_trace();
}

CRuntimeExcWithStack::~CRuntimeExcWithStack() = default;

boost::shared_ptr<exc_base_t> CRuntimeExcWithStack::clone() const {
  return boost::make_shared<CRuntimeExcWithStack>(*this);
}

void CRuntimeExcWithStack::rethrow() const {
  throw CRuntimeExcWithStack(*this);
}

}  // namespace exc
