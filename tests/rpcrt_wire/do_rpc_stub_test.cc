// The DoRpc operation 0 request and reply bodies, composed from the NDR primitives exactly as
// the client stub and the server marshal them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "rpcrt/pdu/pdu.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using namespace testing;

struct Reply {
  std::optional<std::u16string> answer;
  uint8_t succeeded = 0;
  std::optional<std::u16string> error_message;
};

std::vector<uint8_t> EncodeRequest(std::u16string_view request1, std::u16string_view request2) {
  NdrWriter w;
  w.WriteWideString(request1);
  w.WriteWideString(request2);
  return w.Take();
}

std::vector<uint8_t> EncodeReply(const Reply& reply, bool big_endian = false) {
  NdrWriter w(big_endian);
  if (w.WriteUniquePointer(reply.answer.has_value())) w.WriteWideString(*reply.answer);
  w.Align(4);
  w.WriteU8(reply.succeeded);
  if (w.WriteUniquePointer(reply.error_message.has_value())) {
    w.WriteWideString(*reply.error_message);
  }
  return w.Take();
}

Reply DecodeReply(std::span<const uint8_t> stub, DataRep rep = kLocalDataRep) {
  NdrReader r(stub, rep);
  Reply reply;
  reply.answer = r.ReadUniqueWideString();
  r.Align(4);
  reply.succeeded = r.ReadU8();
  reply.error_message = r.ReadUniqueWideString();
  return reply;
}

TEST(DoRpcStubTest, EmptyRequestIsOneNulPaddedToFour) {
  EXPECT_EQ(EncodeRequest(u"", u"hi"),
            Hex("01000000 00000000 01000000 0000 0000 03000000 00000000 03000000 6800 6900 0000"));
  EXPECT_EQ(EncodeRequest(u"a", u""),
            Hex("02000000 00000000 02000000 6100 0000 01000000 00000000 01000000 0000"));
}

TEST(DoRpcStubTest, ReplyLayouts) {
  const struct {
    Reply reply;
    const char* hex;
  } rows[] = {
      {{u"ok", 1, std::nullopt},
       "00000200 03000000 00000000 03000000 6f00 6b00 0000 0000 01 000000 00000000"},
      {{std::nullopt, 1, std::nullopt}, "00000000 01 000000 00000000"},
      // A failure carries the server's text.
      {{std::nullopt, 0, u"bad"},
       "00000000 00 000000 00000200 04000000 00000000 04000000 6200 6100 6400 0000"},
  };
  for (const auto& row : rows) {
    const auto stub = Hex(row.hex);
    EXPECT_EQ(EncodeReply(row.reply), stub) << row.hex;
    const Reply back = DecodeReply(stub);
    EXPECT_EQ(back.answer, row.reply.answer) << row.hex;
    EXPECT_EQ(back.succeeded, row.reply.succeeded) << row.hex;
    EXPECT_EQ(back.error_message, row.reply.error_message) << row.hex;
  }
}

TEST(DoRpcStubTest, BigEndianReplyIsConverted) {
  auto stub =
      Hex("00020000 00000003 00000000 00000003 006f 006b 0000 0000 "
          "00 000000 00020004 00000002 00000000 00000002 0065 0000");
  EXPECT_EQ(EncodeReply({u"ok", 0, u"e"}, /*big_endian=*/true), stub);

  // Inside a response PDU whose drep says big-endian.
  const Pdu pdu =
      DecodePdu(Concat({Hex("05 00 02 03 00000000 0048 0000 00000002 00000030 0000 00 00"), stub}));
  Reply r = DecodeReply(std::get<Response>(pdu.body).stub, pdu.drep);
  EXPECT_EQ(r.answer, u"ok");
  EXPECT_EQ(r.succeeded, 0);
  EXPECT_EQ(r.error_message, u"e");
}

TEST(DoRpcStubTest, EveryTruncatedReplyIsBadStubData) {
  auto full = EncodeReply({u"answer", 0, u"error text"});
  ASSERT_NO_THROW(DecodeReply(full));
  for (size_t length = 0; length < full.size(); ++length) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + length);
    EXPECT_EQ(testing::StatusOf([&] { DecodeReply(cut); }), kBadStubData) << length;
  }
}

}  // namespace
}  // namespace rpcrt
