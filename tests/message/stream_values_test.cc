// Exact reads and writes of values and length-claimed blocks on byte streams.
#include <gtest/gtest.h>

#include "exc/exceptions.h"
#include "io/message/stream_values.h"
#include "tests/message/test_bytes.h"

namespace io::message {
namespace {

using testing::Bytes;
using testing::bytes_t;

// Claims more bytes than it was asked for: a broken stream must not make us overrun.
class CBoastingSource final : public IInputStream {
 public:
  uint64_t Read(void*, uint64_t size) override { return size + 1; }
};

TEST(StreamValues, ValuesAreReassembledFromPieces) {
  const bytes_t bytes = Bytes({0x78, 0x56, 0x34, 0x12});
  testing::CTricklingInputStream in(bytes, 1);
  EXPECT_EQ(ReadValue<uint32_t>(in), 0x12345678u);
}

TEST(StreamValues, OverlongCountsAreTreatedAsFailures) {
  CBoastingSource source;
  EXPECT_THROW(ReadValue<uint32_t>(source), exc::runtime_exc_t);
  EXPECT_THROW(ReadBlock(source, 100), exc::runtime_exc_t);
}

TEST(ReadBlock, ExactBlocksAcrossChunkBoundaries) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{65536}, size_t{65537}, size_t{1000000}}) {
    bytes_t data(size + 3);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i ^ (i >> 8));
    testing::CTricklingInputStream in(data, 4093);
    const bytes_t block = ReadBlock(in, size);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin())) << size;
    EXPECT_EQ(block.size(), size);
    EXPECT_EQ(in.Position(), size) << "nothing past the block is consumed";
  }
}

}  // namespace
}  // namespace io::message
