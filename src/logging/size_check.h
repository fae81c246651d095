// The size limit of a receiver's log file and the aging of full files into numbered gzip
// archives (name.log.gz, name.1.log.gz, ... up to the ages limit).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include <boost/shared_ptr.hpp>

#include "logging/receiver/log_file.h"

namespace logging {

struct aging_settings_t {
  static constexpr uint64_t kDefaultMaxSize = 15728640;  // 15 MiB
  static constexpr int32_t kDefaultAgesLimit = 10;
  static constexpr int32_t kMaxAgesLimit = 1000;

  uint64_t max_size = kDefaultMaxSize;  // 0: no limit
  int32_t ages_limit = kDefaultAgesLimit;

  // The size a log file never grows past, even when it cannot be aged: twice the maximum,
  // and at least 64 KiB above it so that an ordinary record always fits after aging. Several
  // processes sharing the file overshoot the maximum between their checks; the bound leaves
  // them room. 0 when there is no maximum.
  uint64_t hard_limit() const {
    constexpr uint64_t kMinHeadroom = 64 * 1024;
    if (max_size == 0) return 0;
    const uint64_t headroom = std::max(max_size, kMinHeadroom);
    return max_size > UINT64_MAX - headroom ? UINT64_MAX : max_size + headroom;
  }
};

// Reads "AgentMaxLogSize" (REG_DWORD or REG_QWORD) and, only when that had an accepted
// type, "AgentMaxLogCount" (REG_DWORD) under the product key; anything missing or of another
// type keeps its default. An ages limit outside 0..1000 becomes 1000.
aging_settings_t read_aging_settings() noexcept;

// The settings of this process: read_aging_settings() on the first call, fixed afterwards.
const aging_settings_t& process_aging_settings();

// Ages the receiver's file when it has reached the maximum size: the older archives move one
// age up, and a new archive "<path>.gz" is opened and handed to the receiver. Returns true
// when it aged. Throws exc::runtime_exc_t "Unable to validate log size limit. ..." on failure.
bool check_log_size(const boost::shared_ptr<receiver::log_file_t>& receiver,
                    const aging_settings_t& settings);
bool check_log_size(const boost::shared_ptr<receiver::log_file_t>& receiver);

// The name of age `n` of file `file` with extension `ext` (compared without regard to case):
// age 0 is the file itself, "x.log.gz" has ages "x.1.log.gz", "x.2.log.gz", ...
std::string aged_name(std::string_view file, std::string_view ext, uint32_t n);

// Deletes age `limit` and moves every younger age one up, oldest first, so that age 0 is free
// afterwards. Throws exc::runtime_exc_t "Cannot age file. ..." wrapping the file error.
void age_files(const std::string& file, std::string_view ext, int32_t limit);

}  // namespace logging
