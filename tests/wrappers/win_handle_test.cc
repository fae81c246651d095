#include "common/win_handle.h"

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "tests/exc/what_of.h"

namespace common {
namespace {

bool is_open(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

TEST(WinHandleTest, ClosesOnceAndOnlyValidHandlesAndOnDestruction) {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  {
    win_handle_t handle(win_handle_t::from_fd(fd));
    EXPECT_TRUE(handle.valid());
    handle.close();
    EXPECT_FALSE(is_open(fd));
    EXPECT_EQ(handle.get(), nullptr);
    // A descriptor reopened under the same number must survive a second close.
    const int again = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(again, fd);
    handle.close();
    EXPECT_TRUE(is_open(again));
    ::close(again);
  }
  {
    win_handle_t invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.valid());
    invalid.close();
    EXPECT_EQ(invalid.get(), nullptr);
  }
  const int owned = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  { auto handle = boost::make_shared<win_handle_t>(win_handle_t::from_fd(owned)); }
  EXPECT_FALSE(is_open(owned)) << "the destructor closes";
}

TEST(WinHandleTest, AddressOfOnlyWhileEmptyOrInvalid) {
  win_handle_t handle;
  HANDLE* slot = &handle;
  *slot = win_handle_t::from_fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  EXPECT_TRUE(handle.valid());
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { (void)&handle; }),
            "Handle object is already initialized.");
  win_handle_t invalid(INVALID_HANDLE_VALUE);
  EXPECT_NO_THROW((void)&invalid);
}

TEST(WinHandleTest, FailedCloseIsLoggedNotRaised) {
  auto sink = boost::make_shared<logging::receiver::CMemoryLog>();
  logging::scoped_receiver_t attach(sink);
  sink->clear();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ::close(fds[0]);
  ::close(fds[1]);
  {
    win_handle_t stale(win_handle_t::from_fd(fds[0]));  // already closed behind its back
    EXPECT_NO_THROW(stale.close());
    EXPECT_EQ(stale.get(), nullptr);
  }
  const auto records = sink->records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_THAT(records[0], ::testing::HasSubstr("         | ERR |"));
  EXPECT_THAT(records[0], ::testing::HasSubstr(">>  |Unable to close win handle\r\n"));
  EXPECT_THAT(records[0], ::testing::HasSubstr(">>  |--tr:Error code: 0x00000006\r\n"));
}

}  // namespace
}  // namespace common
