// The logger: turns one call into one formatted record and hands it to its receiver, or keeps
// it in a bounded pending list until a receiver is attached. Every operation is serialised by
// a recursive lock, so a receiver or the size check may log again from inside a write.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "logging/depth_counter.h"
#include "logging/line_format.h"
#include "logging/receiver/log_file.h"
#include "platform/win_types.h"
#include "rpcrt/base/mutex.h"

namespace logging {

class log_t {
 public:
  // Records written between two size checks while the check is on.
  static constexpr uint32_t kCheckInterval = 1000;
  // Records, and bytes of records, kept while no receiver is attached, unless configured
  // otherwise.
  static constexpr size_t kDefaultPendingLimit = 10000;
  static constexpr size_t kDefaultPendingBytes = 4 * 1024 * 1024;
  // After a size check failed, the next one waits this long (and for its turn by count).
  static constexpr DWORD kCheckRetryMs = 1000;

  // Decides after every kCheckInterval records whether the receiver's file was aged; true
  // makes the logger write the resume header. May throw: the check then runs again with the
  // first record after kCheckRetryMs; the first failure in a row is said on the debugger
  // output. A record the receiver refuses as full (receiver::full_exc_t) while the check is
  // on also runs the check at once (unless it is waiting to retry) and is offered again.
  using size_checker_t = std::function<bool(const boost::shared_ptr<receiver::log_file_t>&)>;

  log_t();
  explicit log_t(boost::shared_ptr<receiver::log_file_t> receiver);
  log_t(const log_t&) = delete;
  log_t& operator=(const log_t&) = delete;
  ~log_t();

  // Writes one record of `text` at `level`, indented by `depth`, with the channel's `tag`.
  // Never throws: a record that cannot be formatted or delivered is dropped, and counted; the
  // count goes out as a warning ahead of the next record the receiver takes, in the same
  // write.
  void write(int32_t level, int32_t depth, const boost::shared_ptr<format::line_format_t>& tag,
             std::string_view text) noexcept;

  // Writes the header that starts a log file again after it was aged.
  void write_resume_header() noexcept;

  // Attaches `receiver` (null detaches) and returns the previous one. Pending records go to
  // the new receiver at once, oldest first, after a notice of how many were dropped.
  boost::shared_ptr<receiver::log_file_t> set_receiver(
      boost::shared_ptr<receiver::log_file_t> receiver) noexcept;
  boost::shared_ptr<receiver::log_file_t> receiver() const;

  // The size check is off until switched on; the default checker is check_log_size().
  void set_size_check(bool on);
  void set_size_checker(size_checker_t checker);

  // Bounds the pending list by count and by bytes; the oldest records are dropped first, and
  // a record larger than the byte bound is not kept at all.
  void set_pending_limit(size_t limit);
  void set_pending_byte_limit(size_t bytes);
  size_t pending_count() const;
  size_t pending_bytes() const;

  // Runs once, under the lock, before the first record is formatted. The process-wide logger
  // reads its configuration here, late enough to be safe from static initialisation order.
  void set_first_write_hook(std::function<void(log_t&)> hook);

  bool hides_sensitive() const { return hide_sensitive_; }
  depth_counter_t& depth_counter() { return depth_; }

 private:
  void deliver(const boost::shared_ptr<receiver::log_file_t>& receiver, const std::string& record)
      REQUIRES(mutex_);
  void deliver_pending(const boost::shared_ptr<receiver::log_file_t>& receiver) REQUIRES(mutex_);
  void offer(const boost::shared_ptr<receiver::log_file_t>& receiver, const std::string& record)
      REQUIRES(mutex_);
  void count_and_check(const boost::shared_ptr<receiver::log_file_t>& receiver) REQUIRES(mutex_);
  bool check_may_run() const REQUIRES(mutex_);
  bool run_size_check(const boost::shared_ptr<receiver::log_file_t>& receiver) REQUIRES(mutex_);
  void keep_pending(std::string record) REQUIRES(mutex_);
  void trim_pending() REQUIRES(mutex_);
  void run_first_write_hook() REQUIRES(mutex_);

  const uint32_t check_interval_ = kCheckInterval;
  mutable rpcrt::base::RecursiveMutex mutex_;
  boost::shared_ptr<receiver::log_file_t> receiver_ GUARDED_BY(mutex_);
  depth_counter_t depth_;
  const uint32_t layout_ = 0;
  uint32_t since_check_ GUARDED_BY(mutex_) = 0;
  bool size_check_on_ GUARDED_BY(mutex_) = false;
  const bool hide_sensitive_ = false;
  std::deque<std::string> pending_ GUARDED_BY(mutex_);
  const std::vector<std::string> header_lines_;
  size_t pending_limit_ GUARDED_BY(mutex_) = kDefaultPendingLimit;
  size_t pending_byte_limit_ GUARDED_BY(mutex_) = kDefaultPendingBytes;
  size_t pending_bytes_ GUARDED_BY(mutex_) = 0;
  // By the pending bounds, reported when a receiver is attached.
  uint64_t dropped_ GUARDED_BY(mutex_) = 0;
  // Refused by the receiver, reported with the next record it takes.
  uint64_t lost_ GUARDED_BY(mutex_) = 0;
  bool check_failing_ GUARDED_BY(mutex_) = false;
  DWORD check_failed_at_ GUARDED_BY(mutex_) = 0;
  size_checker_t size_checker_ GUARDED_BY(mutex_);
  std::function<void(log_t&)> first_write_hook_ GUARDED_BY(mutex_);
};

}  // namespace logging
