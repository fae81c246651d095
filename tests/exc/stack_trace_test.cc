#include "exc/stack_trace.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr size_t kDigits = sizeof(void*) * 2;

bool is_hex_address(std::string_view text) {
  return text.size() == kDigits && text.find_first_not_of("0123456789abcdef") == text.npos;
}

// "FnAddrArray: " then one or more addresses, each followed by ",".
bool is_address_line(std::string_view line) {
  constexpr std::string_view kPrefix = "FnAddrArray: ";
  if (!line.starts_with(kPrefix)) return false;
  line.remove_prefix(kPrefix.size());
  if (line.empty() || line.size() % (kDigits + 1) != 0) return false;
  for (; !line.empty(); line.remove_prefix(kDigits + 1)) {
    if (!is_hex_address(line.substr(0, kDigits)) || line[kDigits] != ',') return false;
  }
  return true;
}

// Captures from `depth` nested frames down.
__attribute__((noinline)) std::vector<std::string> capture_at_depth(int depth) {
  if (depth > 0) {
    auto lines = capture_at_depth(depth - 1);
    asm volatile("" ::: "memory");  // keeps the recursion a real call chain
    return lines;
  }
  return exc::capture_stack_lines();
}

size_t address_count(const std::string& line) {
  return static_cast<size_t>(std::count(line.begin(), line.end(), ','));
}

TEST(StackTrace, LinesHaveTheirShape) {
  const auto lines = exc::capture_stack_lines();
  ASSERT_GE(lines.size(), 2u);
  constexpr std::string_view kExecutable = "Executable base address: 0x";
  EXPECT_TRUE(lines.front().starts_with(kExecutable) &&
              is_hex_address(std::string_view(lines.front()).substr(kExecutable.size())))
      << lines.front();
  // Linked into the test executable itself: no second module and a known image base.
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_TRUE(is_address_line(lines.back())) << lines.back();
}

TEST(StackTrace, DeepStacksKeepAtMost56Addresses) {
  const auto deep = capture_at_depth(70);
  EXPECT_EQ(address_count(deep.back()), 56u);
  const auto shallow = capture_at_depth(0);
  EXPECT_LT(address_count(shallow.back()), 56u);
  EXPECT_GT(address_count(shallow.back()), 0u);
}

}  // namespace
