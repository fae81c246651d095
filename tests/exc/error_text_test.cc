#include "exc/error_text.h"

#include <set>
#include <string>

#include <gtest/gtest.h>
#include <boost/system/error_code.hpp>

#include "exc/rethrow.h"
#include "exc/rpc_exc.h"

namespace {

TEST(ErrorText, FixedTableComesFirst) {
  const uint32_t codes[] = {
      34,    106,   129,   182,   188,   189,   190,   191,  192,  193,  194,  195,  198,
      201,   202,   216,   217,   218,   317,   573,   574,  576,  591,  594,  596,  609,
      610,   623,   633,   634,   637,   648,   652,   655,  656,  674,  685,  686,  687,
      703,   706,   712,   713,   716,   718,   720,   724,  728,  746,  782,  783,  785,
      786,   788,   789,   790,   1286,  7062,  7063,  7065, 8504, 8541, 8561, 8562, 14052,
      15003, 15019, 15023, 15024, 15029, 15030, 15032, 15036};
  ASSERT_EQ(std::size(codes), 73u);
  std::set<std::string> texts;
  for (uint32_t code : codes) {
    const char* text = exc::find_known_error_text(code);
    ASSERT_NE(text, nullptr) << code;
    EXPECT_EQ(std::string(text).find('%'), std::string::npos) << code;
    EXPECT_EQ(exc::get_error_text(code), text);
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 63u);
  EXPECT_EQ(exc::get_error_text(34), "The wrong diskette is in the drive.");
  EXPECT_EQ(exc::get_error_text(202), exc::get_error_text(182));
  EXPECT_EQ(exc::get_error_text(720),
            "{Machine Type Mismatch} The image file is valid, but is for a machine type other "
            "than the current machine.");
  EXPECT_EQ(exc::find_known_error_text(5), nullptr);
  EXPECT_EQ(exc::find_known_error_text(35), nullptr);
}

TEST(ErrorText, SystemTextLosesItsLineBreak) {
  EXPECT_EQ(exc::get_error_text(5), "Access is denied.");
  EXPECT_EQ(exc::get_error_text(1722), "The RPC server is unavailable.");
}

TEST(ErrorText, WininetRangeUsesTheWininetTable) {
  const std::string text = exc::get_error_text(12002);
  EXPECT_EQ(text, "The operation timed out");
}

TEST(ErrorText, UnknownCodesFallBackToTheSystemCategory) {
  const uint32_t code = 0x0000dead;
  EXPECT_EQ(exc::get_error_text(code),
            boost::system::system_category().message(static_cast<int>(code)));
}

TEST(RpcExc, SystemTextKeepsItsLineBreak) {
  const exc::rpc_exc_t e(1722);
  EXPECT_EQ(e.error_code(), 1722u);
  ASSERT_EQ(e.lines().size(), 1u);
  EXPECT_EQ(e.lines()[0], (exc::message_line_t{"The RPC server is unavailable.\r\n", false}));
}

TEST(RpcExc, StatusWithoutTextIsShownInHex) {
  try {
    try {
      throw exc::rpc_exc_t(0xE06D7363);
    } catch (const std::exception& e) {
      exc::rethrow_with_context("Failed to call remote method.", e);
    }
  } catch (const exc::rpc_exc_t& e) {
    EXPECT_EQ(e.error_code(), 0xE06D7363u);
    EXPECT_STREQ(e.what(), "RPC call failed with error: [e06d7363]\nFailed to call remote method.");
    return;
  }
  FAIL();
}

}  // namespace
