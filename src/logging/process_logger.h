// The process-wide logger behind every channel but "dbg", and how a host attaches a receiver
// to it.
//
// Until a receiver is attached, records wait in the logger's pending list (bounded; the
// oldest go first). On the first record the logger reads, under the product key of the
// registry store, "LogPendingLimit" and "LogPendingBytes" (REG_DWORD, the bounds in records
// and bytes) and "LogFile" (a path): when a log file is named and no receiver is attached
// yet, records go to that file, aged into ".log.gz" archives at the size limit and never
// grown past aging_settings_t::hard_limit().
#pragma once

#include <boost/shared_ptr.hpp>

#include "logging/log.h"
#include "logging/receiver/log_file.h"

namespace logging {

// Created on first use; safe to call from other translation units' static initialisers.
const boost::shared_ptr<log_t>& process_logger();

// Attaches `receiver` to the process-wide logger (null detaches); returns the previous one.
boost::shared_ptr<receiver::log_file_t> attach_receiver(
    boost::shared_ptr<receiver::log_file_t> receiver);

// Reads the configuration described above into `log`. Exposed so that tests can apply it to
// a logger of their own.
void configure_from_registry(log_t& log) noexcept;

// Attaches a receiver for its own lifetime and restores the previous one afterwards.
class scoped_receiver_t {
 public:
  explicit scoped_receiver_t(boost::shared_ptr<receiver::log_file_t> receiver)
      : previous_(attach_receiver(std::move(receiver))) {}
  ~scoped_receiver_t() { attach_receiver(previous_); }
  scoped_receiver_t(const scoped_receiver_t&) = delete;
  scoped_receiver_t& operator=(const scoped_receiver_t&) = delete;

 private:
  boost::shared_ptr<receiver::log_file_t> previous_;
};

}  // namespace logging
