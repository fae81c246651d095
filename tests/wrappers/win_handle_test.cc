#include "common/win_handle.h"

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"

namespace common {
namespace {

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
