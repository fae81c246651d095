#include "rpcrt/client/call_status.h"

#include <gtest/gtest.h>

#include <set>

namespace rpcrt::client {
namespace {

TEST(CallStatus, EveryFailureHasTheWindowsStatus) {
  EXPECT_EQ(StatusFor(CallFailure::kServerUnreachable), 1722u);
  EXPECT_EQ(StatusFor(CallFailure::kConnectionLost), 1726u);
  EXPECT_EQ(StatusFor(CallFailure::kNotExecuted), 1727u);
  EXPECT_EQ(StatusFor(CallFailure::kProtocolError), 1728u);
  EXPECT_EQ(StatusFor(CallFailure::kUnknownInterface), 1717u);
  EXPECT_EQ(StatusFor(CallFailure::kBadStubData), 1783u);
  EXPECT_EQ(StatusFor(CallFailure::kCallTimeout), 1818u);
  EXPECT_EQ(StatusFor(CallFailure::kBadSignature), 1825u);
  EXPECT_EQ(StatusFor(CallFailure::kProtectionDowngraded), 5u);
  // Fault codes the server names: a context mismatch, an NCA code we do not know, a Win32 one.
  EXPECT_EQ(FaultStatusToStatus(0x1c00001a), 6u);
  EXPECT_EQ(FaultStatusToStatus(0x1c0000ff), 1726u);
  EXPECT_EQ(FaultStatusToStatus(0x80070005u), 0x80070005u);
  // The table names each failure once, and every failure has a description.
  std::set<CallFailure> seen;
  for (const auto& e : kFailureTable) {
    EXPECT_TRUE(seen.insert(e.failure).second);
    EXPECT_FALSE(Describe(e.failure).empty());
  }
}

}  // namespace
}  // namespace rpcrt::client
