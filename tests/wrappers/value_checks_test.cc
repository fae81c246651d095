// The guarded narrowing and the fixed-size value reads and writes on byte streams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "exc/exceptions.h"
#include "io/stream_checks.h"
#include "tests/exc/what_of.h"
#include "util/narrow_cast.h"

namespace io {
namespace {

TEST(NarrowCastTest, KeepsValuesThatFitAndRefusesTheRest) {
  EXPECT_EQ(util::narrow_cast(0), 0u);
  EXPECT_EQ(util::narrow_cast(0xFFFFFFFFll), 0xFFFFFFFFu);
  for (int64_t bad : {int64_t{0x100000000}, int64_t{-1}, std::numeric_limits<int64_t>::min()}) {
    EXPECT_THAT(exctest::WhatOf<exc::CRuntimeExcWithStack>([&] { util::narrow_cast(bad); }),
                testing::StartsWith("Unable to cast value from [long] to [unsigned int]. Value: [" +
                                    std::to_string(bad) + "]\n--tr:Stack:"));
  }
}

// Moves at most `limit` bytes per call, or reports a fixed count.
class test_stream_t : public io::IOutputStream, public io::IInputStream {
 public:
  explicit test_stream_t(uint64_t reported) : reported_(reported) {}
  uint64_t Write(const void* data, uint64_t size) override {
    bytes_.append(static_cast<const char*>(data), size);
    return reported_;
  }
  uint64_t Read(void* data, uint64_t size) override {
    std::memset(data, 0xAB, size);
    return reported_;
  }
  std::string bytes_;

 private:
  uint64_t reported_;
};

TEST(StreamChecksTest, WriteHandsOverFourBytesAndChecksTheCount) {
  test_stream_t ok(4);
  write_value(ok, 0x01020304);
  EXPECT_EQ(ok.bytes_, std::string("\x04\x03\x02\x01", 4));

  test_stream_t short_write(3);
  EXPECT_EQ(
      exctest::WhatOf<exc::runtime_exc_t>([&] { write_value(short_write, 7); }),
      "Failed to write value to the binary stream: written less bytes (3) than expected (4).");
  // A count that does not fit in 32 bits fails in the narrowing, before the comparison.
  test_stream_t huge(uint64_t{1} << 40);
  EXPECT_THROW(write_value(huge, 7), exc::CRuntimeExcWithStack);
}

TEST(StreamChecksTest, ReadChecksTheCountAgainstTheExpectedSize) {
  test_stream_t ok(8);
  uint64_t value = 0;
  read_value(ok, &value, 8);
  EXPECT_EQ(value, 0xABABABABABABABABull);

  test_stream_t short_read(2);
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { read_value(short_read, &value, 8); }),
            "Failed to retrieve value from the binary stream: received less bytes (2) than "
            "expected (8).");
}

}  // namespace
}  // namespace io
