#include "logging/trace.h"

#include <exception>

#include "platform/clock.h"
#include "platform/thread_id.h"

namespace logging {
namespace {

void log_failed(ILogSection& channel, const std::string& text) noexcept {
  try {
    channel.Info(text + " Failed.");
  } catch (const std::exception&) {
  }
}

}  // namespace

i_trace_t::i_trace_t(ILogSection& channel, std::string_view text)
    : channel_(channel), text_(text) {}

i_trace_t::~i_trace_t() = default;

void i_trace_t::push_thread_state() noexcept {
  try {
    // Only threads that monitoring registered have a state to record the operation in.
    thread_state_ = logging::CThreadStatesCollection::instance().find(GetCurrentThreadId());
    if (thread_state_) thread_state_->push({GetTickCount(), text_});
  } catch (const std::exception&) {
    thread_state_.reset();
  }
}

void i_trace_t::pop_thread_state() noexcept {
  if (thread_state_) thread_state_->pop();
  thread_state_.reset();
}

trace_t::trace_t(ILogSection& channel, std::string_view text) : i_trace_t(channel, text) {
  channel_.Verbose(text_);
  if (depth_counter_t* depth = channel_.DepthCounter()) depth->increment();
  push_thread_state();
}

trace_t::~trace_t() {
  pop_thread_state();
  if (!finished_) fail();
}

void trace_t::finish() noexcept {
  finished_ = true;
  if (depth_counter_t* depth = channel_.DepthCounter()) depth->decrement();
}

void trace_t::dismiss() noexcept {
  if (!finished_) finish();
}

void trace_t::done() noexcept {
  if (finished_) return;
  finish();
  if (quiet_) return;
  try {
    channel_.Verbose(text_ + " ok.");
  } catch (const std::exception&) {
  }
}

void trace_t::fail() noexcept {
  if (finished_) return;
  finish();
  if (!quiet_) log_failed(channel_, text_);
}

trace_fail_t::trace_fail_t(ILogSection& channel, std::string_view text) : i_trace_t(channel, text) {
  push_thread_state();
}

trace_fail_t::~trace_fail_t() {
  pop_thread_state();
  if (!done_) fail();
}

void trace_fail_t::dismiss() noexcept {
  done_ = true;
}

void trace_fail_t::done() noexcept {
  done_ = true;
}

void trace_fail_t::fail() noexcept {
  if (done_) return;
  done_ = true;
  log_failed(channel_, text_);
}

}  // namespace logging
