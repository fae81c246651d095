#include "exc/exceptions.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/system/system_error.hpp>

#include "exc/rethrow.h"
#include "exc/rpc_exc.h"
#include "platform/thread_id.h"
#include "tests/exc/what_of.h"

namespace {

using exc::exc_base_t;
using exc::runtime_exc_t;
using exc::win_sys_exc_t;
using exctest::Caught;

TEST(ExcBase, TextsFollowTheLinesAndTranslatorsKeepTraceFlags) {
  exc_base_t empty;
  ASSERT_NE(empty.what(), nullptr);
  EXPECT_STREQ(empty.what(), "");
  EXPECT_EQ(empty.thread_id(), GetCurrentThreadId());

  exc_base_t e("A");
  e.add_trace_line("B");
  e.add_line("C");
  EXPECT_STREQ(e.what(), "A\n--tr:B\nC");
  EXPECT_EQ(e.get_plain_text(), "A\nB\nC");

  struct bracket : exc::IMessageTranslator {
    std::string translate(const std::string& text) override { return "<" + text + ">"; }
  };
  e.apply_translator(boost::make_shared<bracket>());
  EXPECT_STREQ(e.what(), "<A>\n--tr:<B>\n<C>");
}

TEST(WinSysExc, LinesAreSystemTextThenTextThenCode) {
  EXPECT_STREQ(win_sys_exc_t(5).what(), "Access is denied.\n--tr:Error code: 0x00000005");
  EXPECT_STREQ(win_sys_exc_t("Failed to open the file.", 5).what(),
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
template <class E>
std::optional<E> RethrownFromNestedHandler(const E& original) {
  return Caught<E>([&] {
    try {
      throw original;
    } catch (const E& outer) {
      try {
        throw std::runtime_error("cleanup failed");
      } catch (const std::exception&) {
        exc::rethrow_with_context("Context Z", outer);
      }
    }
  });
}

TEST(RethrowWithContext, FromANestedHandlerTheClassAndCodeStay) {
  const auto rpc = RethrownFromNestedHandler(exc::rpc_exc_t(1722));
  ASSERT_TRUE(rpc) << "rpc_exc_t lost its class";
  EXPECT_EQ(rpc->error_code(), 1722u);
  EXPECT_STREQ(rpc->what(), "The RPC server is unavailable.\r\n\nContext Z");
  const auto win = RethrownFromNestedHandler(win_sys_exc_t("inner", 5));
  ASSERT_TRUE(win) << "win_sys_exc_t lost its class";
  EXPECT_EQ(win->error_code(), 5u);
  EXPECT_EQ(win->lines().back().text, "Context Z");
}

TEST(RethrowWithContext, ForeignExceptionsBecomeRuntimeExceptionsAndTraceContextIsATraceLine) {
  const auto rethrown = [](const auto& thrown, auto&& rethrow) {
    return Caught<runtime_exc_t>([&] {
      try {
        throw thrown;
      } catch (const std::exception& e) {
        rethrow(e);
      }
    });
  };
  const auto traced = rethrown(runtime_exc_t("inner"), [](const std::exception& e) {
    exc::rethrow_with_trace_context("detail {}", 7, e);
  });
  ASSERT_TRUE(traced);
  EXPECT_STREQ(traced->what(), "inner\n--tr:detail 7");

  const auto std_error = rethrown(std::out_of_range("index 3"), [](const std::exception& e) {
    exc::rethrow_with_context("Context X", e);
  });
  ASSERT_TRUE(std_error);
  EXPECT_STREQ(std_error->what(), "index 3\nContext X");
  EXPECT_EQ(std_error->error_code(), 0u);

  const auto boost_error =
      rethrown(boost::system::system_error(
                   boost::system::error_code(13, boost::system::system_category()), "open"),
               [](const std::exception& e) { exc::rethrow_with_context("Context Y", e); });
  ASSERT_TRUE(boost_error);
  EXPECT_EQ(boost_error->error_code(), 13u);
  EXPECT_EQ(boost_error->lines().at(0).text.rfind("open: ", 0), 0u) << boost_error->what();
  EXPECT_EQ(boost_error->lines().at(1).text, "Context Y");
}

}  // namespace
