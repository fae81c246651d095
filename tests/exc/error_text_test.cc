#include "exc/error_text.h"

#include <string>

#include <gtest/gtest.h>

#include "exc/rpc_exc.h"

namespace {

TEST(ErrorText, FixedTableComesFirstAndSystemTextsLoseTheirLineBreak) {
  EXPECT_EQ(exc::get_error_text(34), "The wrong diskette is in the drive.");
  EXPECT_EQ(exc::get_error_text(202), exc::get_error_text(182));
  EXPECT_EQ(exc::get_error_text(720),
            "{Machine Type Mismatch} The image file is valid, but is for a machine type other "
            "than the current machine.");
  // Texts with inserts in the system table are written out in the fixed one.
  EXPECT_EQ(std::string(exc::find_known_error_text(317)).find('%'), std::string::npos);
  EXPECT_EQ(exc::find_known_error_text(5), nullptr);
  EXPECT_EQ(exc::get_error_text(1722), "The RPC server is unavailable.");
  EXPECT_EQ(exc::get_error_text(12002), "The operation timed out");
  EXPECT_EQ(exc::rpc_exc_t(0x8001011B).lines().at(0).text, "Access is denied.\r\n");
  // A status without any text is shown by its number.
  EXPECT_STREQ(exc::rpc_exc_t(0xE06D7363).what(), "RPC call failed with error: [e06d7363]");
}

}  // namespace
