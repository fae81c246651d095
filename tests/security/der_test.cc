// The DER reader: every length is checked against what is left, hostile input throws.
#include <gtest/gtest.h>

#include "rpcrt/security/spnego/der.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using Bytes = std::vector<uint8_t>;

rpcrt::Status ReadStatus(const Bytes& input) {
  try {
    der::Reader r(input);
    while (!r.AtEnd()) r.ReadAny();
  } catch (const rpcrt::RpcError& e) {
    return e.status();
  }
  return rpcrt::kOk;
}

TEST(DerTest, LengthFormsRoundTrip) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{127}, size_t{128}, size_t{255}, size_t{256},
                      size_t{65535}, size_t{65536}, size_t{1} << 20}) {
    SCOPED_TRACE(size);
    Bytes contents(size, 0x5a);
    Bytes encoded = der::Encode(der::kOctetString, contents);
    const size_t header = size < 0x80 ? 2 : size < 0x100 ? 3 : size < 0x10000 ? 4 : 5;
    EXPECT_EQ(encoded.size(), header + size) << "minimal length encoding";
    der::Reader r(encoded);
    auto e = r.ReadAny();
    EXPECT_EQ(e.tag, der::kOctetString);
    EXPECT_EQ(e.contents.size(), size);
    EXPECT_EQ(e.encoding.size(), encoded.size());
    EXPECT_TRUE(r.AtEnd());
  }
}

TEST(DerTest, MalformedLengthsAreErrorsNotReads) {
  const std::vector<Bytes> hostile = {
      {0x04},                                                        // tag without length
      {0x04, 0x05, 0x01, 0x02},                                      // contents past the end
      {0x04, 0x81},                                                  // long form without its octet
      {0x04, 0x82, 0x01},                                            // long form cut short
      {0x04, 0x80, 0x00, 0x00},                                      // indefinite length
      {0x04, 0x84, 0xff, 0xff, 0xff, 0xff},                          // 4 GiB claimed
      {0x04, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00},              // five length octets
      {0x04, 0x88, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},  // would overflow
      {0x1f, 0x81, 0x01, 0x00},                                      // high tag number form
      {0x04, 0x01, 0xaa, 0x04},  // good element, then a truncated one
  };
  for (const Bytes& input : hostile) {
    SCOPED_TRACE(::testing::PrintToString(input));
    EXPECT_EQ(ReadStatus(input), rpcrt::kSecPkgError);
  }
}

TEST(DerTest, LongFormIsAcceptedEvenWhenNotMinimal) {
  // Some peers write 0x81 0x05 where 0x05 would do; the length is still exact.
  Bytes input = {0x04, 0x81, 0x02, 0xaa, 0xbb};
  der::Reader r(input);
  EXPECT_EQ(r.Read(der::kOctetString).size(), 2u);
  r.ExpectEnd();
}

TEST(DerTest, ExpectedTagAndEnd) {
  Bytes input = {0x30, 0x00, 0x05};
  der::Reader r(input);
  EXPECT_THROW(r.Read(der::kOctetString), rpcrt::RpcError);
  EXPECT_EQ(r.Read(der::kSequence).size(), 0u);
  EXPECT_THROW(r.ExpectEnd(), rpcrt::RpcError);
  der::Reader empty(std::span<const uint8_t>{});
  EXPECT_THROW(empty.PeekTag(), rpcrt::RpcError);
}

}  // namespace
