#include "server/call_log.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace zelqa::server {

std::string FormatCallLine(std::chrono::system_clock::time_point when,
                           const rpcrt::server::CallContext& call, std::chrono::milliseconds took,
                           std::string_view outcome) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string line = stamp;
  line += " call from ";
  line += call.client_address.empty() ? "unknown" : call.client_address;
  line += " account ";
  line += call.peer_name.empty() ? "-" : call.peer_name;
  line += " op " + std::to_string(call.opnum) + " " + std::to_string(took.count()) + " ms ";
  // A line break in an outcome would forge the next record.
  for (char c : outcome) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  return line;
}

void CallLog::Record(const rpcrt::server::CallContext& call, std::chrono::milliseconds took,
                     std::string_view outcome) {
  const std::string line = FormatCallLine(std::chrono::system_clock::now(), call, took, outcome);
  std::lock_guard lock(mutex_);
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a log that cannot be written must not fail the call
    done += static_cast<size_t>(n);
  }
}

}  // namespace zelqa::server
