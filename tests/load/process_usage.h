// What the process holds right now: resident memory and open file descriptors, read from
// /proc/self. Used to show that a long run does not grow.
#pragma once

#include <cstddef>
#include <string>

namespace zelqa::load {

struct process_usage_t {
  size_t rss_kb = 0;
  size_t fds = 0;
  size_t sockets = 0;  // of fds, those that are sockets
};

// Reads the numbers now; zeros where /proc cannot be read.
process_usage_t SampleUsage();

// "rss 12345 KB, fds 37 (sockets 32)".
std::string Describe(const process_usage_t& usage);

}  // namespace zelqa::load
