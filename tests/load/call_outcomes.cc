#include "call_outcomes.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/system_text_table.h"
#include "platform/utf_convert.h"

namespace zelqa::load {
namespace {

constexpr std::string_view kSeparator = " | ";

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

uint64_t call_outcomes_t::unexpected(bool allow_retry_table_failures) const {
  std::lock_guard guard(mutex_);
  uint64_t n = 0;
  for (const auto& [text, count] : counts_) {
    if (text == "ok") continue;
    if (allow_retry_table_failures && IsRetryTableFailure(text)) continue;
    n += count;
  }
  return n;
}

std::map<std::string, uint64_t> call_outcomes_t::counts() const {
  std::lock_guard guard(mutex_);
  return counts_;
}

std::string call_outcomes_t::Report(bool allow_retry_table_failures) const {
  std::vector<std::pair<uint64_t, std::string>> rows;
  {
    std::lock_guard guard(mutex_);
    for (const auto& [text, count] : counts_) rows.emplace_back(count, text);
  }
  std::sort(rows.rbegin(), rows.rend());
  std::string out;
  for (const auto& [count, text] : rows) {
    const bool expected = text == "ok" || (allow_retry_table_failures && IsRetryTableFailure(text));
    out +=
        "  " + std::to_string(count) + "  " + text + (expected ? "" : "   <-- UNEXPECTED") + "\n";
  }
  return out;
}

bool IsRetryTableFailure(const std::string& outcome) {
  // The statuses that the call loop reconnects on or repeats (without the access-denied
  // ones, which it repeats only on request).
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> result;
    for (DWORD status : {1722u, 6u, 1753u, 1726u, 1727u}) {
      result.push_back(platform::Utf16ToUtf8(platform::FindSystemText(status).value()));
    }
    return result;
  }();
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(outcome.find(kSeparator, start), outcome.size());
    if (std::find(texts.begin(), texts.end(), outcome.substr(start, end - start)) != texts.end()) {
      return true;
    }
    if (end == outcome.size()) return false;
    start = end + kSeparator.size();
  }
}

std::string OutcomeOf(const std::string& error_text) {
  const std::string plain = error_text.substr(0, error_text.find("--tr:"));
  std::string outcome;
  size_t start = 0;
  while (start < plain.size()) {
    size_t end = plain.find_first_of("\r\n", start);
    if (end == std::string::npos) end = plain.size();
    if (end > start) {
      if (!outcome.empty()) outcome += kSeparator;
      outcome.append(plain, start, end - start);
    }
    start = end + 1;
  }
  return outcome;
}

}  // namespace zelqa::load
