#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" std::vector<std::string> exc_probe_stack_lines();

namespace {

TEST(StackTraceInSharedObject, NamesTheExecutableAndTheCurrentModule) {
  const auto lines = exc_probe_stack_lines();
  ASSERT_EQ(lines.size(), 3u);
  const std::string executable = "Executable base address: 0x";
  const std::string module = "Current module base address: 0x";
  ASSERT_TRUE(lines[0].starts_with(executable)) << lines[0];
  ASSERT_TRUE(lines[1].starts_with(module)) << lines[1];
  EXPECT_NE(lines[0].substr(executable.size()), lines[1].substr(module.size()));
  EXPECT_TRUE(lines[2].starts_with("FnAddrArray: ")) << lines[2];
}

}  // namespace
