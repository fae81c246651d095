#include "exc/stack_trace.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

const std::string kHex = "[0-9a-f]{" + std::to_string(sizeof(void*) * 2) + "}";

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
  EXPECT_TRUE(std::regex_match(lines.front(), std::regex("Executable base address: 0x" + kHex)))
      << lines.front();
  // Linked into the test executable itself: no second module and a known image base.
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines.back(), std::regex("FnAddrArray: (" + kHex + ",)+")))
      << lines.back();
}

TEST(StackTrace, DeepStacksKeepAtMost56Addresses) {
  const auto deep = capture_at_depth(70);
  EXPECT_EQ(address_count(deep.back()), 56u);
  const auto shallow = capture_at_depth(0);
  EXPECT_LT(address_count(shallow.back()), 56u);
  EXPECT_GT(address_count(shallow.back()), 0u);
}

}  // namespace
