// Scope traces: log the start and the outcome of an operation, and indent everything the
// same thread logs in between by one more level.
//
//   logging::trace_t trace(logging::channels::Rpc(), "Connecting");
//   ...                       // records here are indented by two more blanks
//   trace.done();             // "Connecting ok." (without done(): "Connecting Failed.")
#pragma once

#include <string>
#include <string_view>

#include <boost/shared_ptr.hpp>

#include "logging/log_section.h"
#include "logging/thread_states.h"

namespace logging {

class i_trace_t {
 public:
  virtual ~i_trace_t();
  // Ends the trace without a record.
  virtual void dismiss() noexcept = 0;
  // Ends the trace as a success.
  virtual void done() noexcept = 0;
  // Ends the trace as a failure.
  virtual void fail() noexcept = 0;

 protected:
  i_trace_t(ILogSection& channel, std::string_view text);
  i_trace_t(const i_trace_t&) = delete;
  i_trace_t& operator=(const i_trace_t&) = delete;

  // Records the operation on the calling thread's monitoring stack, if it has one.
  void push_thread_state() noexcept;
  void pop_thread_state() noexcept;

  ILogSection& channel_;
  std::string text_;

 private:
  boost::shared_ptr<logging::CThreadState> thread_state_;
};

// Writes its text at Verbose level on creation, then "<text> ok." (Verbose) on done() or
// "<text> Failed." (Info) on fail() or when destroyed unfinished.
class trace_t : public i_trace_t {
 public:
  trace_t(ILogSection& channel, std::string_view text);
  ~trace_t() override;
  void dismiss() noexcept override;
  void done() noexcept override;
  void fail() noexcept override;

 private:
  void finish() noexcept;

  bool quiet_ = false;
  bool finished_ = false;
};

// Writes nothing unless the operation fails: "<text> Failed." (Info) on fail() or when
// destroyed without done() or dismiss(). Leaves the indentation alone.
class trace_fail_t : public i_trace_t {
 public:
  trace_fail_t(ILogSection& channel, std::string_view text);
  ~trace_fail_t() override;
  void dismiss() noexcept override;
  void done() noexcept override;
  void fail() noexcept override;

 private:
  bool done_ = false;
};

}  // namespace logging
