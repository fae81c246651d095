#include "exc/error_text.h"

#include <string>

#include <gtest/gtest.h>

#include "exc/rpc_exc.h"
#include "tests/exc/what_of.h"

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
  // The system's texts in the system's wording, one line break less; Windows words 12002 in
  // wininet's table, Wine in its own.
  const auto line = [](std::string text) { return text.substr(0, text.find_last_of('\r')); };
  EXPECT_EQ(exc::get_error_text(1722), line(exctest::SystemText(1722)));
  const std::string timed_out = exctest::SystemText(12002);
  EXPECT_EQ(exc::get_error_text(12002),
            line(timed_out.empty() ? exctest::SystemText(12002, true) : timed_out));
  // Wine has no text for this status, and then it is shown by its number.
  const std::string access_denied = exctest::SystemText(0x8001011B);
  EXPECT_EQ(exc::rpc_exc_t(0x8001011B).lines().at(0).text,
            access_denied.empty() ? "RPC call failed with error: [8001011b]" : access_denied);
  // A status without any text is shown by its number.
  EXPECT_STREQ(exc::rpc_exc_t(0xE06D7363).what(), "RPC call failed with error: [e06d7363]");
}

}  // namespace
