#include "logging/log.h"

#include <exception>
#include <utility>

#include <boost/make_shared.hpp>

#include "exc/format_message.h"
#include "logging/log_level.h"
#include "logging/record_format.h"
#include "logging/size_check.h"

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
    std::lock_guard<std::recursive_mutex> lock(mutex_);
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
    try {
      receiver->write(record);
    } catch (const std::exception&) {
      pending_.push_front(std::move(record));
      throw;
    }
    count_and_check(receiver);
  }
}

void log_t::deliver(const boost::shared_ptr<receiver::log_file_t>& receiver,
                    const std::string& record) {
  receiver->write(record);
  count_and_check(receiver);
}

void log_t::count_and_check(const boost::shared_ptr<receiver::log_file_t>& receiver) {
  if (!size_check_on_) return;
  if (++since_check_ < check_interval_) return;
  // A check that throws leaves the count where it is, so the next record checks again.
  if (size_checker_ && size_checker_(receiver)) write_resume_header();
  since_check_ = 0;
}

void log_t::keep_pending(std::string record) {
  if (pending_limit_ == 0) {
    ++dropped_;
    return;
  }
  while (pending_.size() >= pending_limit_) {
    pending_.pop_front();
    ++dropped_;
  }
  pending_.push_back(std::move(record));
}

void log_t::write_resume_header() noexcept {
  try {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
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
  std::unique_lock<std::recursive_mutex> lock(mutex_, std::defer_lock);
  try {
    lock.lock();
  } catch (const std::exception&) {
    return {};
  }
  boost::shared_ptr<receiver::log_file_t> previous = std::exchange(receiver_, receiver);
  if (!receiver) return previous;
  try {
    if (dropped_ != 0) {
      const auto tag = boost::make_shared<format::line_format_t>();
      std::string notice = exc::format_message(
          "%1 log records were dropped while no receiver was attached. Pending limit: %2.",
          static_cast<int64_t>(dropped_), static_cast<int64_t>(pending_limit_));
      // Goes ahead of the surviving records: the dropped ones were older than all of them.
      std::string record;
      format::append_record(record, layout_, Warning, 0, tag->tag(), notice, kDefaultLineEnd);
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
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return receiver_;
}

void log_t::set_size_check(bool on) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  size_check_on_ = on;
  since_check_ = 0;
}

void log_t::set_size_checker(size_checker_t checker) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  size_checker_ = std::move(checker);
}

void log_t::set_pending_limit(size_t limit) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  pending_limit_ = limit;
  while (pending_.size() > pending_limit_) {
    pending_.pop_front();
    ++dropped_;
  }
}

size_t log_t::pending_count() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return pending_.size();
}

void log_t::set_first_write_hook(std::function<void(log_t&)> hook) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
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
