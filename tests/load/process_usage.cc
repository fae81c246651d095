#include "process_usage.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace zelqa::load {

process_usage_t SampleUsage() {
  process_usage_t usage;
  // statm: total and resident size, in pages.
  size_t total = 0, resident = 0;
  if (std::ifstream("/proc/self/statm") >> total >> resident)
    usage.rss_kb = resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) / 1024;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    ++usage.fds;
    std::error_code link_ec;
    const auto target = std::filesystem::read_symlink(entry.path(), link_ec);
    if (!link_ec && target.native().starts_with("socket:")) ++usage.sockets;
  }
  // The directory iterator holds one descriptor of its own while it counts.
  if (usage.fds > 0) --usage.fds;
  return usage;
}

std::string Describe(const process_usage_t& usage) {
  return "rss " + std::to_string(usage.rss_kb) + " KB, fds " + std::to_string(usage.fds) +
         " (sockets " + std::to_string(usage.sockets) + ")";
}

}  // namespace zelqa::load
