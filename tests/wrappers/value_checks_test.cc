// Fixed-size value writes on byte streams and the count they check.
#include <gtest/gtest.h>

#include "exc/exceptions.h"
#include "io/stream_checks.h"
#include "tests/exc/what_of.h"

namespace io {
namespace {

// Keeps what is written and reports a fixed count.
class test_stream_t : public io::IOutputStream {
 public:
  explicit test_stream_t(uint64_t reported) : reported_(reported) {}
  uint64_t Write(const void* data, uint64_t size) override {
    bytes_.append(static_cast<const char*>(data), size);
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

}  // namespace
}  // namespace io
