#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "exc/buf_io.h"
#include "exc/exceptions.h"
#include "exc/rpc_exc.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The saved record is a fixed format, not merely whatever load happens to read back.
TEST(SavedRecord, LayoutIsLittleEndianWithLengthPrefixedTexts) {
  exc::runtime_exc_t e("ab");
  e.add_trace_line("c");
  e.properties().named["k"] = "v";
  e.properties().numbered.emplace_back(7, "n");
  e.set_error_code(0x01020304);
  exc::CBufWriter writer;
  e.save(writer);
  const Bytes want = {2, 0, 0, 0,                                          // line count
                      2, 0, 0, 0, 'a', 'b', 0,                             // plain line "ab"
                      1, 0, 0, 0, 'c', 1,                                  // trace line "c"
                      1, 0, 0, 0, 1,   0,   0, 0, 'k', 1, 0, 0, 0,   'v',  // map
                      1, 0, 0, 0, 7,   0,   0, 0, 1,   0, 0, 0, 'n',       // list
                      4, 3, 2, 1};                                         // error code
  EXPECT_EQ(writer.written(), want);
}

TEST(SavedRecord, EverySavingClassRoundTrips) {
  exc::runtime_exc_t runtime("runtime line");
  runtime.add_trace_line("trace");
  runtime.set_error_code(42);
  runtime.properties().named["b"] = "2";
  runtime.properties().named["a"] = "1";
  runtime.properties().numbered.emplace_back(9, "nine");
  const exc::win_sys_exc_t win_sys("context", 5);
  const exc::CZelqaInternalError internal("internal");
  const exc::CRuntimeExcWithStack with_stack("cast failed");

  auto round_trip = [](const exc::exc_base_t& saved, exc::exc_base_t& loaded) {
    exc::CBufWriter writer;
    saved.save(writer);
    exc::CBufReader reader(1024, boost::make_shared<const Bytes>(writer.written()));
    loaded.load(reader);
    EXPECT_EQ(reader.position(), writer.position()) << "record not read to its end";
    EXPECT_EQ(typeid(loaded), typeid(saved));
    EXPECT_STREQ(loaded.what(), saved.what());
    EXPECT_EQ(loaded.get_plain_text(), saved.get_plain_text());
    EXPECT_EQ(loaded.properties(), saved.properties());
  };
  exc::runtime_exc_t runtime_loaded;
  round_trip(runtime, runtime_loaded);
  EXPECT_EQ(runtime_loaded.error_code(), 42u);

  exc::win_sys_exc_t win_sys_loaded;
  round_trip(win_sys, win_sys_loaded);
  EXPECT_EQ(win_sys_loaded.error_code(), 5u);

  exc::CZelqaInternalError internal_loaded;
  round_trip(internal, internal_loaded);
  exc::CRuntimeExcWithStack stack_loaded;
  round_trip(with_stack, stack_loaded);
}

TEST(SavedRecord, RpcExceptionSavesNoCode) {
  exc::CBufWriter rpc_writer;
  const exc::rpc_exc_t rpc(0xE06D7363);
  rpc.save(rpc_writer);
  exc::CBufWriter base_writer;
  exc::exc_base_t(rpc).save(base_writer);
  EXPECT_EQ(rpc_writer.written(), base_writer.written());
  EXPECT_EQ(typeid(*rpc.clone()), typeid(exc::exc_base_t));
}

}  // namespace
