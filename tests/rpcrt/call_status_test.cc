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
  // The table names each failure once, and every failure has a description.
  std::set<CallFailure> seen;
  for (const auto& e : kFailureTable) {
    EXPECT_TRUE(seen.insert(e.failure).second);
    EXPECT_FALSE(Describe(e.failure).empty());
  }
}

TEST(CallStatus, NcaFaultsMapAndWin32FaultsPassThrough) {
  EXPECT_EQ(StatusFromFault(0x1c010002), 1745u);  // nca_s_op_rng_error
  EXPECT_EQ(StatusFromFault(0x1c010003), 1717u);  // nca_s_unk_if
  EXPECT_EQ(StatusFromFault(0x1c00000d), 1818u);  // nca_s_fault_cancel
  EXPECT_EQ(StatusFromFault(0x1c010014), 1723u);  // nca_s_server_too_busy
  EXPECT_EQ(StatusFromFault(0x1c00001a), 6u);     // context mismatch
  EXPECT_EQ(StatusFromFault(0x1c000012), 1726u);  // unspecified
  EXPECT_EQ(StatusFromFault(0x1c0000ff), 1726u);  // an NCA code we do not know
  EXPECT_EQ(StatusFromFault(5), 5u);
  EXPECT_EQ(StatusFromFault(1783), 1783u);
  EXPECT_EQ(StatusFromFault(0x80070005u), 0x80070005u);
  std::set<uint32_t> seen;
  for (const auto& e : kFaultTable) EXPECT_TRUE(seen.insert(e.nca).second) << std::hex << e.nca;
}

}  // namespace
}  // namespace rpcrt::client
