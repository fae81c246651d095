#include "exc/internal_error_log.h"

#include <atomic>

namespace exc {

namespace {

// Constant-initialised, so a report made during another object's static initialisation sees
// either nothing or the installed log, never a half-built one.
constinit std::atomic<void (*)(const std::exception&) noexcept> g_exception_log{nullptr};
constinit std::atomic<void (*)(std::string_view) noexcept> g_text_log{nullptr};

}  // namespace

void set_error_log(error_log_t log) noexcept {
  g_exception_log.store(log.exception, std::memory_order_release);
  g_text_log.store(log.text, std::memory_order_release);
}

void log_internal_error(const std::exception& e) noexcept {
  if (auto log = g_exception_log.load(std::memory_order_acquire)) log(e);
}

void log_error_text(std::string_view text) noexcept {
  if (auto log = g_text_log.load(std::memory_order_acquire)) log(text);
}

}  // namespace exc
