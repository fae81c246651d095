#include "platform/debug_output.h"

#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

namespace {

std::string Captured(const char* text, bool enabled) {
  if (enabled) {
    setenv("ZELQA_DEBUG_OUTPUT", "1", 1);
  } else {
    unsetenv("ZELQA_DEBUG_OUTPUT");
  }
  testing::internal::CaptureStderr();
  OutputDebugStringA(text);
  std::string out = testing::internal::GetCapturedStderr();
  unsetenv("ZELQA_DEBUG_OUTPUT");
  return out;
}

TEST(DebugOutput, WritesTextVerbatimOnlyWhenSwitchedOn) {
  EXPECT_EQ(Captured("trace line\n", true), "trace line\n");
  EXPECT_EQ(Captured("no newline added", true), "no newline added");
  EXPECT_EQ(Captured("hidden\n", false), "");
  EXPECT_EQ(Captured(nullptr, true), "");
}

}  // namespace
