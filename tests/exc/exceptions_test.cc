#include "exc/exceptions.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/system/system_error.hpp>

#include "exc/rethrow.h"
#include "exc/rpc_exc.h"
#include "platform/thread_id.h"

namespace {

using exc::exc_base_t;
using exc::runtime_exc_t;
using exc::win_sys_exc_t;

TEST(ExcBase, TextsFollowTheLines) {
  exc_base_t empty;
  ASSERT_NE(empty.what(), nullptr);
  EXPECT_STREQ(empty.what(), "");
  EXPECT_EQ(empty.thread_id(), GetCurrentThreadId());

  exc_base_t e("A");
  EXPECT_STREQ(e.what(), "A");
  e.add_trace_line("B");
  e.add_line("C");
  EXPECT_STREQ(e.what(), "A\n--tr:B\nC");
  EXPECT_EQ(e.get_plain_text(), "A\nB\nC");
}

TEST(ExcBase, TranslatorRewritesEveryLineAndKeepsTraceFlags) {
  struct upper : exc::IMessageTranslator {
    std::string translate(const std::string& text) override { return "<" + text + ">"; }
  };
  exc_base_t e("a");
  e.add_trace_line("b");
  e.apply_translator(boost::make_shared<upper>());
  EXPECT_STREQ(e.what(), "<a>\n--tr:<b>");
}

TEST(WinSysExc, LinesAreSystemTextThenTextThenCode) {
  const win_sys_exc_t by_code(5);
  EXPECT_STREQ(by_code.what(), "Access is denied.\n--tr:Error code: 0x00000005");
  const win_sys_exc_t with_text("Failed to open the file.", 5);
  EXPECT_STREQ(with_text.what(),
               "Access is denied.\nFailed to open the file.\n--tr:Error code: 0x00000005");
  const win_sys_exc_t formatted("Failed to open [%1].", "f", 0x80004005u);
  EXPECT_EQ(formatted.lines().at(1).text, "Failed to open [f].");
  EXPECT_EQ(formatted.lines().back().text, "Error code: 0x80004005");
  EXPECT_EQ(formatted.error_code(), 0x80004005u);
}

TEST(InternalErrors, CarryMarkerAndStack) {
  const exc::CZelqaInternalError e("Broken invariant");
  const auto& lines = e.lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], (exc::message_line_t{"Broken invariant", false}));
  EXPECT_EQ(lines[1], (exc::message_line_t{"[ZelqaInternalError]", true}));
  EXPECT_EQ(lines[2], (exc::message_line_t{"Stack:", true}));
  EXPECT_EQ(lines[3].text.rfind("Executable base address: 0x", 0), 0u);
  EXPECT_EQ(lines.back().text.rfind("FnAddrArray: ", 0), 0u);
  EXPECT_EQ(std::string(e.what()).rfind("Broken invariant\n--tr:[ZelqaInternalError]\n--tr:Stack:\n"
                                        "--tr:Executable base address: ",
                                        0),
            0u);
  EXPECT_EQ(typeid(*e.clone()), typeid(exc::CZelqaInternalError));

  const exc::CRuntimeExcWithStack s("Unable to cast");
  EXPECT_EQ(s.lines().at(0), (exc::message_line_t{"Unable to cast", false}));
  EXPECT_EQ(s.lines().at(1), (exc::message_line_t{"Stack:", true}));
}

TEST(RethrowWithContext, LibraryExceptionKeepsItsClassAndObject) {
  const exc_base_t* thrown = nullptr;
  try {
    try {
      throw win_sys_exc_t("inner", 5);
    } catch (const std::exception& e) {
      thrown = static_cast<const exc_base_t*>(&e);
      exc::rethrow_with_context("Failed to read [%1] from [%2]", "v", "k", e);
    }
  } catch (const win_sys_exc_t& e) {
    EXPECT_EQ(&e, thrown);
    EXPECT_EQ(e.error_code(), 5u);
    EXPECT_EQ(e.lines().back(), (exc::message_line_t{"Failed to read [v] from [k]", false}));
    return;
  }
  FAIL();
}

// From a nested handler the exception being handled is another one: the caught object cannot
// be rethrown itself, but what travels on is still of its class with its code.
TEST(RethrowWithContext, FromANestedHandlerTheClassAndCodeStay) {
  const auto rethrow_from_nested_handler = [](const exc_base_t& outer) {
    try {
      throw std::runtime_error("cleanup failed");
    } catch (const std::exception&) {
      exc::rethrow_with_context("Context Z", outer);
    }
  };
  try {
    try {
      throw exc::rpc_exc_t(1722);
    } catch (const exc::rpc_exc_t& e) {
      rethrow_from_nested_handler(e);
    }
  } catch (const exc::rpc_exc_t& e) {
    EXPECT_EQ(e.error_code(), 1722u);
    EXPECT_STREQ(e.what(), "The RPC server is unavailable.\r\n\nContext Z");
  } catch (...) {
    ADD_FAILURE() << "rpc_exc_t lost its class";
  }
  try {
    try {
      throw win_sys_exc_t("inner", 5);
    } catch (const win_sys_exc_t& e) {
      rethrow_from_nested_handler(e);
    }
  } catch (const win_sys_exc_t& e) {
    EXPECT_EQ(e.error_code(), 5u);
    EXPECT_EQ(e.lines().back().text, "Context Z");
  } catch (...) {
    ADD_FAILURE() << "win_sys_exc_t lost its class";
  }
}

TEST(RethrowWithContext, TraceVariantAddsATraceLine) {
  try {
    try {
      throw runtime_exc_t("inner");
    } catch (const std::exception& e) {
      exc::rethrow_with_trace_context("detail {}", 7, e);
    }
  } catch (const runtime_exc_t& e) {
    EXPECT_STREQ(e.what(), "inner\n--tr:detail 7");
  }
}

TEST(RethrowWithContext, ForeignExceptionsBecomeRuntimeExceptions) {
  try {
    try {
      throw std::out_of_range("index 3");
    } catch (const std::exception& e) {
      exc::rethrow_with_context("Context X", e);
    }
  } catch (const runtime_exc_t& e) {
    EXPECT_STREQ(e.what(), "index 3\nContext X");
    EXPECT_EQ(e.error_code(), 0u);
  }
  try {
    try {
      throw boost::system::system_error(
          boost::system::error_code(13, boost::system::system_category()), "open");
    } catch (const std::exception& e) {
      exc::rethrow_with_context("Context Y", e);
    }
  } catch (const runtime_exc_t& e) {
    EXPECT_EQ(e.error_code(), 13u);
    EXPECT_EQ(e.lines().at(0).text.rfind("open: ", 0), 0u) << e.what();
    EXPECT_EQ(e.lines().at(1).text, "Context Y");
  }
}

}  // namespace
