// A thread-safe tally of call outcomes, keyed by what the host saw: "ok" or the error text
// on one line. Knows which failures the retry loop may legitimately give up with.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace zelqa::load {

class call_outcomes_t {
 public:
  void Add(const std::string& outcome);
  uint64_t total() const;
  std::map<std::string, uint64_t> counts() const;
  // The outcomes other than "ok", "gone" (the call's identifier was removed under it) and,
  // when allowed, retry-table failures, with their counts.
  std::map<std::string, uint64_t> unexpected(bool allow_retry_table_failures) const;
  // One line per distinct outcome, most frequent first, each marked when it is unexpected.
  std::string Report(bool allow_retry_table_failures) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, uint64_t> counts_;
};

// True when a line of the outcome is the text of a status the call loop retries or
// reconnects on: what a call may end with once its attempts ran out while the server was away.
bool IsRetryTableFailure(const std::string& outcome);

// An error text as an outcome: its plain lines (without the trace part behind "--tr:")
// joined by " | ".
std::string OutcomeOf(const std::string& error_text);

}  // namespace zelqa::load
