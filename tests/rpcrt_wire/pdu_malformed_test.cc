// Malformed fragments: every one is a protocol error, none reads past its buffer.
#include <gtest/gtest.h>

#include "rpcrt/pdu/pdu.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using testing::Hex;
using testing::NamedHex;

Status DecodeStatus(const std::vector<uint8_t>& bytes) {
  // Decode from an exactly sized heap copy so that AddressSanitizer sees any overrun.
  return testing::StatusOf([copy = bytes] { DecodePdu(copy); });
}

std::vector<uint8_t> SampleBindAck() {
  Pdu pdu;
  BindAck ack;
  ack.secondary_address = "49152";
  ack.results.push_back({ContextResultCode::kAcceptance, 0, kNdrSyntax});
  pdu.body = ack;
  return EncodePdu(pdu);
}

TEST(PduMalformedTest, FragmentsThatBreakTheirOwnLayout) {
  const NamedHex cases[] = {
      {"empty", ""},
      {"header cut short", "05 00 11 03 10000000 1000 0000 030000"},
      {"version 4", "04 00 11 03 10000000 1000 0000 03000000"},
      {"minor version 2", "05 02 11 03 10000000 1000 0000 03000000"},
      {"unknown type", "05 00 14 03 10000000 1000 0000 03000000"},
      {"frag_length below header", "05 00 11 03 10000000 0f00 0000 03000000"},
      {"frag_length 65535, short body",
       "05 00 02 03 10000000 ffff 0000 03000000 00000000 0000 0000"},
      {"frag_length one past the end",
       "05 00 02 03 10000000 1900 0000 03000000 00000000 0000 0000"},
      {"auth_length without room for the trailer",
       "05 00 02 03 10000000 1c00 0800 03000000 00000000 0000 0000 01020304"},
      {"auth_length larger than the fragment",
       "05 00 02 03 10000000 1c00 ffff 03000000 00000000 0000 0000 01020304"},
      {"request with the object flag but no object",
       "05 00 00 83 10000000 1c00 0000 01000000 00000000 0000 0000 01020304"},
      {"request shorter than its header", "05 00 00 03 10000000 1400 0000 01000000 00000000"},
      {"fault shorter than its header",
       "05 00 03 03 10000000 1800 0000 01000000 00000000 00000000"},
      {"bind announcing 200 contexts in a body that holds none",
       "05 00 0b 03 10000000 1c00 0000 01000000 d016d016 00000000 c8 00 0000"},
      {"bind_nak announcing more versions than it holds",
       "05 00 0d 03 10000000 1500 0000 01000000 0400 05 0500"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeStatus(Hex(c.hex)), kProtocolError) << c.name;
  }
}

TEST(PduMalformedTest, AuthPaddingMustFitTheStub) {
  // Response, 4 stub bytes, trailer with auth_pad_length as given, 4-byte auth_value.
  auto make = [](uint8_t pad) {
    auto bytes =
        Hex("05 00 02 03 10000000 2800 0400 03000000 00000000 0000 0000 "
            "aabbccdd 0a 06 00 00 00000000 11223344");
    bytes[30] = pad;
    return bytes;
  };
  // A 4-byte pad, as some peers send, leaves an empty stub.
  EXPECT_TRUE(std::get<Response>(DecodePdu(make(4)).body).stub.empty());
  EXPECT_EQ(std::get<Response>(DecodePdu(make(2)).body).stub, Hex("aabb"));
  EXPECT_EQ(DecodeStatus(make(5)), kProtocolError);   // more pad than stub
  EXPECT_EQ(DecodeStatus(make(16)), kProtocolError);  // never a whole block
}

TEST(PduMalformedTest, ListCountsBeyondTheBody) {
  // One context announcing 255 transfer syntaxes but carrying one.
  auto bind =
      Hex("05 00 0b 03 10000000 4800 0000 01000000 d016d016 00000000 01 00 0000 "
          "0000 ff 00 7ac0c2d189d9cc48a423b73ecd518d40 01000000 "
          "045d888aeb1cc9119fe808002b104860 02000000");
  EXPECT_EQ(DecodeStatus(bind), kProtocolError);
  bind[30] = 1;
  EXPECT_EQ(DecodeStatus(bind), kOk);

  // Bind_ack whose secondary address length runs past the end.
  auto ack = SampleBindAck();
  ack[24] = 0xff;
  ack[25] = 0xff;
  EXPECT_EQ(DecodeStatus(ack), kProtocolError);
  // Bind_ack announcing more results than it holds.
  ack = SampleBindAck();
  ack[32] = 2;
  EXPECT_EQ(DecodeStatus(ack), kProtocolError);
}

TEST(PduMalformedTest, EveryTruncationOfAStructuredBodyIsRefused) {
  for (const auto& full : {SampleBindAck(), [] {
                             Pdu pdu;
                             Bind bind;
                             bind.contexts.push_back({0, kNdrSyntax, {kNdrSyntax, kNdrSyntax}});
                             pdu.body = bind;
                             return EncodePdu(pdu);
                           }()}) {
    ASSERT_EQ(DecodeStatus(full), kOk);
    for (size_t length = kCommonHeaderSize; length < full.size(); ++length) {
      std::vector<uint8_t> cut(full.begin(), full.begin() + length);
      // Still announcing the original frag_length: not enough held.
      EXPECT_EQ(DecodeStatus(cut), kProtocolError) << "held " << length;
      cut[8] = static_cast<uint8_t>(length);
      cut[9] = static_cast<uint8_t>(length >> 8);
      EXPECT_EQ(DecodeStatus(cut), kProtocolError) << "length " << length;
    }
  }
}

}  // namespace
}  // namespace rpcrt
