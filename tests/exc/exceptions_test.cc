#include "exc/exceptions.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <boost/system/system_error.hpp>

#include "exc/rethrow.h"
#include "exc/rpc_exc.h"
#include "tests/exc/what_of.h"

namespace {

using exc::runtime_exc_t;
using exc::win_sys_exc_t;
using exctest::Caught;

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
  EXPECT_EQ(rpc->what(), exctest::SystemText(1722) + "\nContext Z");
  const auto win = RethrownFromNestedHandler(win_sys_exc_t("inner", 5));
  ASSERT_TRUE(win) << "win_sys_exc_t lost its class";
  EXPECT_EQ(win->error_code(), 5u);
  EXPECT_EQ(win->lines().back().text, "Context Z");
  EXPECT_TRUE(RethrownFromNestedHandler(runtime_exc_t("inner")));
  EXPECT_TRUE(RethrownFromNestedHandler(exc::CZelqaInternalError("inner")));
  EXPECT_TRUE(RethrownFromNestedHandler(exc::CRuntimeExcWithStack("inner")));
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
