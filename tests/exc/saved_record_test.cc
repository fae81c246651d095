#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "exc/buf_io.h"
#include "exc/exceptions.h"
#include "exc/rpc_exc.h"

namespace {

using Bytes = std::vector<uint8_t>;

exc::CBufReader reader_of(Bytes bytes, uint32_t max_text = 1024) {
  return exc::CBufReader(max_text, boost::make_shared<const Bytes>(std::move(bytes)));
}

exc::CBufReader reader_of(const exc::CBufWriter& writer, uint32_t max_text = 1024) {
  return reader_of(writer.written(), max_text);
}

std::string failure_of(exc::CBufReader& reader, void (*read)(exc::CBufReader&)) {
  try {
    read(reader);
  } catch (const exc::runtime_exc_t& e) {
    return e.what();
  }
  return "no failure";
}

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
    auto reader = reader_of(writer);
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

TEST(SavedRecord, TruncatedOrHostileRecordsFailCleanly) {
  exc::CBufWriter writer;
  exc::runtime_exc_t("a line of text").save(writer);
  const Bytes whole = writer.written();
  // Every proper prefix is refused, and the target keeps its old lines.
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    auto reader = reader_of(Bytes(whole.begin(), whole.begin() + cut));
    exc::runtime_exc_t target("old");
    EXPECT_THROW(target.load(reader), exc::runtime_exc_t) << cut;
    EXPECT_STREQ(target.what(), "old");
  }
  // A huge line count with no lines behind it.
  auto reader = reader_of(Bytes{0xff, 0xff, 0xff, 0xff});
  exc::exc_base_t target;
  EXPECT_THROW(target.load(reader), exc::runtime_exc_t);
}

TEST(BufReader, LimitsAndMessages) {
  exc::CBufReader unset;
  EXPECT_EQ(failure_of(unset, [](exc::CBufReader& r) { r.read_u32(); }),
            "CBufReader buffer not initialized.");

  auto short_reader = reader_of(Bytes{1, 0, 0});
  EXPECT_EQ(failure_of(short_reader, [](exc::CBufReader& r) { r.read_u32(); }),
            "Out of the buffer, buffer size '3', struct size '4', buffer pointer '0'.");

  auto long_text = reader_of(Bytes{5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e'}, 4);
  EXPECT_EQ(failure_of(long_text, [](exc::CBufReader& r) { r.read_text(); }),
            "Invalid length of the string '5'.");

  auto text = reader_of(Bytes{4, 0, 0, 0, 'a', 0, 'b', 'c', 2}, 4);
  EXPECT_EQ(text.read_text(), "a");  // ends at the first zero byte
  EXPECT_TRUE(text.read_bool());     // any non-zero byte
  EXPECT_EQ(failure_of(text, [](exc::CBufReader& r) { r.read_bool(); }),
            "Out of the buffer, buffer size '9', struct size '1', buffer pointer '9'.");

  auto empty_text = reader_of(Bytes{0, 0, 0, 0}, 0);
  EXPECT_EQ(empty_text.read_text(), "");
}

}  // namespace
