#include "server/call_log.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <ctime>

namespace zelqa::server {

namespace {

// "2026-12-05T18:40:00Z". Calls come many a second: the text of the last second seen on this
// thread is kept, so most lines cost no calendar arithmetic.
std::string_view Stamp(std::chrono::system_clock::time_point when) {
  thread_local std::time_t cached_second = -1;
  thread_local char cached[32] = {};
  thread_local size_t cached_size = 0;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  if (seconds != cached_second) {
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    cached_size = std::strftime(cached, sizeof cached, "%Y-%m-%dT%H:%M:%SZ", &utc);
    cached_second = seconds;
  }
  return std::string_view(cached, cached_size);
}

template <typename Integer>
void AppendNumber(std::string& line, Integer value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  line.append(digits, end);
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
  // One allocation for the whole line: this runs once per call.
  std::string line;
  line.reserve(96 + call.client_address.size() + call.peer_name.size() + outcome.size());
  line += Stamp(when);
  line += " call from ";
  line += Address(call.client_address);
  line += " account ";
  line += call.peer_name.empty() ? std::string_view("-") : std::string_view(call.peer_name);
  line += " op ";
  AppendNumber(line, call.opnum);
  line += ' ';
  AppendNumber(line, took.count());
  line += " ms ";
  AppendLast(line, outcome);
  return line;
}

std::string FormatRejectionLine(std::chrono::system_clock::time_point when,
                                const rpcrt::server::Rejection& rejection) {
  std::string line(Stamp(when));
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
