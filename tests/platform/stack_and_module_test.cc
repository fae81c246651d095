#include <stdlib.h>

#include <cstring>

#include <gtest/gtest.h>

#include "platform/stack_capture.h"
#include "platform/system_text.h"

namespace {

struct Capture {
  void* frames[8] = {};
  WORD count = 0;
  DWORD hash = 0;
  void* return_into_outer = nullptr;
};

__attribute__((noinline)) void Inner(Capture& c, DWORD skip) {
  c.count = RtlCaptureStackBackTrace(skip, 8, c.frames, &c.hash);
  c.return_into_outer = __builtin_return_address(0);
  asm volatile("");  // keeps this a real call, not a tail call
}

__attribute__((noinline)) void Outer(Capture& c, DWORD skip) {
  Inner(c, skip);
  asm volatile("");
}

TEST(StackCapture, FrameZeroIsTheCallerAndSkipDropsWholeFrames) {
  Capture captures[2];
  volatile int rounds = 2;  // one call site for both, so their outer frames are equal
  for (int i = 0; i < rounds; ++i) Outer(captures[i], static_cast<DWORD>(i));
  const Capture& all = captures[0];
  const Capture& skipped = captures[1];
  ASSERT_GE(all.count, 3);
  EXPECT_EQ(all.frames[1], all.return_into_outer);  // frame 0 is in Inner, 1 in Outer
  for (int i = 0; i + 1 < all.count; ++i) EXPECT_EQ(skipped.frames[i], all.frames[i + 1]) << i;
}

TEST(ModuleHandle, ModulesAreFoundByNameAndByAddress) {
  const HMODULE exe = GetModuleHandleW(nullptr);
  ASSERT_NE(exe, nullptr);
  HMODULE from_address = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                 reinterpret_cast<LPCWSTR>(&Outer), &from_address));
  EXPECT_EQ(from_address, exe);

  HMODULE libc = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&::getenv), &libc));
  EXPECT_NE(libc, exe);
  EXPECT_EQ(GetModuleHandleW(u"LIBC.so.6"), libc);

  // The wininet stand-in is a module of its own, found by name whatever the case.
  const HMODULE wininet = GetModuleHandleW(u"wininet.dll");
  ASSERT_NE(wininet, nullptr);
  EXPECT_NE(wininet, exe);
  EXPECT_EQ(GetModuleHandleW(u"WinINet.DLL"), wininet);
}

}  // namespace
