#include "server/call_log.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace zelqa::server {

namespace {

std::string Stamp(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return stamp;
}

std::string_view Address(std::string_view address) {
  return address.empty() ? std::string_view("unknown") : address;
}

// Ends the line; a line break in the text would forge the next record.
void AppendLast(std::string& line, std::string_view text) {
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
}

}  // namespace

std::string FormatCallLine(std::chrono::system_clock::time_point when,
                           const rpcrt::server::CallContext& call, std::chrono::milliseconds took,
                           std::string_view outcome) {
  std::string line = Stamp(when);
  line += " call from ";
  line += Address(call.client_address);
  line += " account ";
  line += call.peer_name.empty() ? "-" : call.peer_name;
  line += " op " + std::to_string(call.opnum) + " " + std::to_string(took.count()) + " ms ";
  AppendLast(line, outcome);
  return line;
}

std::string FormatRejectionLine(std::chrono::system_clock::time_point when,
                                const rpcrt::server::Rejection& rejection) {
  std::string line = Stamp(when);
  line += " " + rejection.what + " from ";
  line += Address(rejection.client_address);
  line += ": ";
  AppendLast(line, rejection.reason);
  return line;
}

void CallLog::Record(const rpcrt::server::CallContext& call, std::chrono::milliseconds took,
                     std::string_view outcome) {
  Write(FormatCallLine(std::chrono::system_clock::now(), call, took, outcome));
}

void CallLog::Record(const rpcrt::server::Rejection& rejection) {
  Write(FormatRejectionLine(std::chrono::system_clock::now(), rejection));
}

void CallLog::Write(const std::string& line) {
  rpcrt::base::MutexLock lock(mutex_);
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a log that cannot be written must not fail the call
    done += static_cast<size_t>(n);
  }
}

}  // namespace zelqa::server
