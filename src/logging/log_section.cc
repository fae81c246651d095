#include "logging/log_section.h"

#include <boost/make_shared.hpp>

#include "exc/exc_base.h"
#include "exc/format_message.h"
#include "logging/log.h"
#include "logging/log_level.h"
#include "logging/process_logger.h"

namespace logging {
namespace {

constexpr std::string_view kNoMessage = "Exception message is not available.";

}  // namespace

std::string thread_suffix(const std::exception& e) {
  const auto* own = dynamic_cast<const exc::exc_base_t*>(&e);
  if (own == nullptr || own->thread_id() == 0) {
    return exc::format_message("\nAn exception was thrown from thread [%1].", "n/a");
  }
  return exc::format_message("\nAn exception was thrown from thread [%1].", own->thread_id());
}

log_section_t::log_section_t() : log_section_t(std::string_view()) {}

log_section_t::log_section_t(std::string_view name) : log_section_t(name, process_logger()) {}

log_section_t::log_section_t(std::string_view name, boost::shared_ptr<log_t> logger)
    : tag_(boost::make_shared<format::line_format_t>(name)), logger_(std::move(logger)) {}

log_section_t::~log_section_t() {
  closed_ = true;
  logger_.reset();
  tag_.reset();
}

const std::string& log_section_t::tag() const {
  static const std::string none;
  return tag_ ? tag_->tag() : none;
}

void log_section_t::put(int32_t level, int32_t depth, std::string_view text) noexcept {
  if (IsOff()) return;
  logger_->write(level, depth, tag_, text);
}

int32_t log_section_t::current_depth() noexcept {
  return IsOff() ? 0 : logger_->depth_counter().get();
}

void log_section_t::Info(int32_t depth, std::string_view text) noexcept {
  put(logging::Info, depth, text);
}

void log_section_t::Info(std::string_view text) noexcept {
  put(logging::Info, current_depth(), text);
}

void log_section_t::Verbose(int32_t depth, std::string_view text) noexcept {
  put(logging::Verbose, depth, text);
}

void log_section_t::Verbose(std::string_view text) noexcept {
  put(logging::Verbose, current_depth(), text);
}

void log_section_t::Debug(int32_t, std::string_view) noexcept {}

void log_section_t::Debug(std::string_view text) noexcept {
  Debug(current_depth(), text);
}

void log_section_t::Warning(std::string_view text, const std::exception& e) noexcept {
  try {
    std::string record(text);
    if (const char* message = e.what()) {
      record += '\n';
      record += message;
    }
    Warning(record);
  } catch (const std::exception&) {
  }
}

void log_section_t::Warning(const std::exception& e) noexcept {
  const char* message = e.what();
  if (message == nullptr) {
    Error(kNoMessage);
    return;
  }
  Warning(std::string_view(message));
}

void log_section_t::Warning(std::string_view text) noexcept {
  put(logging::Warning, 0, text);
}

void log_section_t::Error(const std::exception& e) noexcept {
  try {
    const char* message = e.what();
    std::string record(message != nullptr ? std::string_view(message) : kNoMessage);
    record += thread_suffix(e);
    Error(record);
  } catch (const std::exception&) {
  }
}

void log_section_t::Error(std::string_view text, const std::exception& e) noexcept {
  try {
    std::string record(text);
    if (const char* message = e.what()) {
      record += '\n';
      record += message;
    }
    record += thread_suffix(e);
    Error(record);
  } catch (const std::exception&) {
  }
}

void log_section_t::Error(std::string_view text) noexcept {
  put(logging::Error, 0, text);
}

bool log_section_t::HidesSensitive() const noexcept {
  return !IsOff() && logger_->hides_sensitive();
}

std::string log_section_t::Sensitive(std::string_view value) const {
  return HidesSensitive() ? std::string("****") : std::string(value);
}

bool log_section_t::IsOff() const noexcept {
  return closed_ || !logger_;
}

depth_counter_t* log_section_t::DepthCounter() noexcept {
  return IsOff() ? nullptr : &logger_->depth_counter();
}

}  // namespace logging
