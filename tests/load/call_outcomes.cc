#include "call_outcomes.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "platform/system_text_table.h"
#include "platform/utf_convert.h"

namespace zelqa::load {
namespace {

constexpr char kSeparator[] = " | ";

bool Expected(const std::string& outcome, bool allow_retry_table_failures) {
  return outcome == "ok" || outcome == "gone" ||
         (allow_retry_table_failures && IsRetryTableFailure(outcome));
}

}  // namespace

void call_outcomes_t::Add(const std::string& outcome) {
  std::lock_guard guard(mutex_);
  ++counts_[outcome];
}

uint64_t call_outcomes_t::total() const {
  std::lock_guard guard(mutex_);
  uint64_t n = 0;
  for (const auto& [text, count] : counts_) n += count;
  return n;
}

std::map<std::string, uint64_t> call_outcomes_t::unexpected(bool allow_retry_table_failures) const {
  std::map<std::string, uint64_t> unexpected = counts();
  std::erase_if(unexpected, [&](const auto& entry) {
    return Expected(entry.first, allow_retry_table_failures);
  });
  return unexpected;
}

std::map<std::string, uint64_t> call_outcomes_t::counts() const {
  std::lock_guard guard(mutex_);
  return counts_;
}

std::string call_outcomes_t::Report(bool allow_retry_table_failures) const {
  std::vector<std::pair<uint64_t, std::string>> rows;
  for (const auto& [text, count] : counts()) rows.emplace_back(count, text);
  std::sort(rows.rbegin(), rows.rend());
  std::string out;
  for (const auto& [count, text] : rows) {
    out += "  " + std::to_string(count) + "  " + text +
           (Expected(text, allow_retry_table_failures) ? "" : "   <-- UNEXPECTED") + "\n";
  }
  return out;
}

bool IsRetryTableFailure(const std::string& outcome) {
  // The statuses that the call loop reconnects on or repeats (without the access-denied
  // ones, which it repeats only on request), each as a whole line of an outcome.
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> result;
    for (DWORD status : {1722u, 6u, 1753u, 1726u, 1727u}) {
      const std::string text = platform::Utf16ToUtf8(platform::FindSystemText(status).value());
      result.push_back(kSeparator + text + kSeparator);
    }
    return result;
  }();
  const std::string padded = kSeparator + outcome + kSeparator;
  return std::ranges::any_of(
      lines, [&](const std::string& line) { return padded.find(line) != std::string::npos; });
}

std::string OutcomeOf(const std::string& error_text) {
  std::string plain = error_text.substr(0, error_text.find("--tr:"));
  std::replace(plain.begin(), plain.end(), '\r', '\n');
  std::istringstream lines(plain);
  std::string outcome;
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) outcome += (outcome.empty() ? "" : kSeparator) + line;
  return outcome;
}

}  // namespace zelqa::load
