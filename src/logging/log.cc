#include "logging/log.h"

#include <exception>
#include <utility>

#include <boost/make_shared.hpp>

#include "exc/format_message.h"
#include "logging/log_level.h"
#include "logging/record_format.h"
#include "logging/size_check.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace logging {
namespace {

constexpr std::string_view kDefaultLineEnd = "\r\n";

// Restores the size-check switch however the resume header ends.
class flag_restore_t {
 public:
  flag_restore_t(bool& flag, bool value) : flag_(flag), saved_(flag) { flag_ = value; }
  ~flag_restore_t() { flag_ = saved_; }
  flag_restore_t(const flag_restore_t&) = delete;
  flag_restore_t& operator=(const flag_restore_t&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

log_t::log_t() : size_checker_([](const auto& r) { return check_log_size(r); }) {}

log_t::log_t(boost::shared_ptr<receiver::log_file_t> receiver) : log_t() {
  receiver_ = std::move(receiver);
}

log_t::~log_t() = default;

void log_t::write(int32_t level, int32_t depth, const boost::shared_ptr<format::line_format_t>& tag,
                  std::string_view text) noexcept {
  try {
    rpcrt::base::RecursiveMutexLock lock(mutex_);
    try {
      run_first_write_hook();
      // A local reference keeps the receiver alive even if the size check or a nested record
      // replaces it while this record is on its way.
      const boost::shared_ptr<receiver::log_file_t> receiver = receiver_;
      const std::string eol = receiver ? receiver->line_end() : std::string(kDefaultLineEnd);
      std::string record;
      format::append_record(record, layout_, level, depth,
                            tag ? std::string_view(tag->tag()) : std::string_view(), text, eol);
      if (receiver) {
        deliver_pending(receiver);
        deliver(receiver, record);
      } else {
        keep_pending(std::move(record));
      }
    } catch (const std::exception&) {
      ++lost_;
    }
  } catch (const std::exception&) {
    // Logging never fails its caller; the record is lost.
  }
}

void log_t::deliver_pending(const boost::shared_ptr<receiver::log_file_t>& receiver) {
  // A record leaves the list before it is written and returns to its head if the receiver
  // refuses it: a receiver that fails half-way loses nothing, and a size check that fails
  // after a write does not make that record go out twice.
  while (!pending_.empty()) {
    std::string record = std::move(pending_.front());
    pending_.pop_front();
    pending_bytes_ -= record.capacity();
    try {
      deliver(receiver, record);
    } catch (const std::exception&) {
      pending_bytes_ += record.capacity();
      pending_.push_front(std::move(record));
      throw;
    }
  }
}

void log_t::deliver(const boost::shared_ptr<receiver::log_file_t>& receiver,
                    const std::string& record) {
  try {
    offer(receiver, record);
  } catch (const receiver::full_exc_t&) {
    // A file at its size bound has room again once aged; a failing check waits before it
    // runs again.
    if (!size_check_on_ || !check_may_run()) throw;
    run_size_check(receiver);
    offer(receiver, record);
  }
  count_and_check(receiver);
}

void log_t::offer(const boost::shared_ptr<receiver::log_file_t>& receiver,
                  const std::string& record) {
  if (lost_ == 0) {
    receiver->write(record);
    return;
  }
  // The count travels in the same write as the record, so it cannot be lost on its own.
  const auto tag = boost::make_shared<format::line_format_t>();
  std::string both;
  format::append_record(both, layout_, Warning, 0, tag->tag(),
                        exc::format_message("%1 log records could not be written and were lost.",
                                            static_cast<int64_t>(lost_)),
                        receiver->line_end());
  both += record;
  receiver->write(both);
  lost_ = 0;
}

void log_t::count_and_check(const boost::shared_ptr<receiver::log_file_t>& receiver) {
  if (!size_check_on_) return;
  // A check that fails leaves the count where it is, so a later record checks again.
  if (since_check_ < check_interval_) ++since_check_;
  if (since_check_ < check_interval_ || !check_may_run()) return;
  run_size_check(receiver);
}

bool log_t::check_may_run() const {
  return !check_failing_ || GetTickCount() - check_failed_at_ >= kCheckRetryMs;
}

bool log_t::run_size_check(const boost::shared_ptr<receiver::log_file_t>& receiver) {
  bool aged = false;
  try {
    aged = size_checker_ && size_checker_(receiver);
  } catch (const std::exception& e) {
    // Said once per run of failures: the file keeps growing towards its receiver's bound.
    if (!check_failing_) {
      OutputDebugStringA(
          exc::format_message("The log could not be aged; trying again once a second.\n%1\n",
                              e.what())
              .c_str());
    }
    check_failing_ = true;
    check_failed_at_ = GetTickCount();
    return false;
  }
  check_failing_ = false;
  since_check_ = 0;
  if (aged) write_resume_header();
  return aged;
}

void log_t::keep_pending(std::string record) {
  // Counted by capacity: what the list holds in memory, not just the text.
  if (pending_limit_ == 0 || record.capacity() > pending_byte_limit_) {
    ++dropped_;
    return;
  }
  pending_bytes_ += record.capacity();
  pending_.push_back(std::move(record));
  trim_pending();
}

void log_t::trim_pending() {
  while (pending_.size() > pending_limit_ || pending_bytes_ > pending_byte_limit_) {
    pending_bytes_ -= pending_.front().capacity();
    pending_.pop_front();
    ++dropped_;
  }
}

void log_t::write_resume_header() noexcept {
  try {
    rpcrt::base::RecursiveMutexLock lock(mutex_);
    flag_restore_t no_check(size_check_on_, false);
    const auto tag = boost::make_shared<format::line_format_t>();
    write(Info, 0, tag, "LOG: Resuming log session");
    write(Info, 0, tag, std::string(84, '='));
    if (!header_lines_.empty()) {
      write(Info, 0, tag, "{");
      for (const std::string& line : header_lines_) write(Info, 1, tag, line);
      write(Info, 0, tag, "}");
    }
  } catch (const std::exception&) {
  }
}

boost::shared_ptr<receiver::log_file_t> log_t::set_receiver(
    boost::shared_ptr<receiver::log_file_t> receiver) noexcept {
  try {
    mutex_.lock();
  } catch (const std::exception&) {
    return {};
  }
  rpcrt::base::RecursiveMutexLock lock(mutex_, std::adopt_lock);
  boost::shared_ptr<receiver::log_file_t> previous = std::exchange(receiver_, receiver);
  if (!receiver) return previous;
  try {
    if (dropped_ != 0) {
      const auto tag = boost::make_shared<format::line_format_t>();
      std::string notice = exc::format_message(
          "%1 log records were dropped while no receiver was attached. Pending limit: %2 "
          "records, %3 bytes.",
          static_cast<int64_t>(dropped_), static_cast<int64_t>(pending_limit_),
          static_cast<int64_t>(pending_byte_limit_));
      // Goes ahead of the surviving records: the dropped ones were older than all of them.
      std::string record;
      format::append_record(record, layout_, Warning, 0, tag->tag(), notice, kDefaultLineEnd);
      pending_bytes_ += record.capacity();
      pending_.push_front(std::move(record));
      dropped_ = 0;
    }
    deliver_pending(receiver);
  } catch (const std::exception&) {
    // What the receiver did not take stays pending for the next record.
  }
  return previous;
}

boost::shared_ptr<receiver::log_file_t> log_t::receiver() const {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  return receiver_;
}

void log_t::set_size_check(bool on) {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  size_check_on_ = on;
  since_check_ = 0;
}

void log_t::set_size_checker(size_checker_t checker) {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  size_checker_ = std::move(checker);
}

void log_t::set_pending_limit(size_t limit) {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  pending_limit_ = limit;
  trim_pending();
}

void log_t::set_pending_byte_limit(size_t bytes) {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  pending_byte_limit_ = bytes;
  trim_pending();
}

size_t log_t::pending_count() const {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  return pending_.size();
}

size_t log_t::pending_bytes() const {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  return pending_bytes_;
}

void log_t::set_first_write_hook(std::function<void(log_t&)> hook) {
  rpcrt::base::RecursiveMutexLock lock(mutex_);
  first_write_hook_ = std::move(hook);
}

void log_t::run_first_write_hook() {
  if (!first_write_hook_) return;
  // Cleared first: the hook may log, and those records must not run it again.
  std::function<void(log_t&)> hook = std::exchange(first_write_hook_, nullptr);
  try {
    hook(*this);
  } catch (const std::exception&) {
    // A configuration that cannot be read leaves the defaults in place.
  }
}

}  // namespace logging
