#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "rpcrt/pdu/protected_layout.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using security::AuthnLevel;
using security::AuthnService;
using security::IoBuffer;

Pdu RequestOf(size_t stub_size, bool object) {
  Pdu pdu;
  pdu.call_id = 4;
  Request req;
  req.opnum = 0;
  req.stub.resize(stub_size);
  std::iota(req.stub.begin(), req.stub.end(), uint8_t{1});
  if (object) req.object = MakeUuid("01020304-0506-0708-090a-0b0c0d0e0f10");
  pdu.body = req;
  return pdu;
}

TEST(ProtectedLayoutTest, PlanPadsTheStubAndPlacesTheTrailer) {
  ProtectedLayout l = PlanProtectedPdu(PduType::kRequest, false, 5, 16);
  EXPECT_EQ(l.header_size, 24u);
  EXPECT_EQ(l.pad_size, 11u);
  EXPECT_EQ(l.trailer_offset, 40u);
  EXPECT_EQ(l.auth_value_offset, 48u);
  EXPECT_EQ(l.frag_length, 64u);

  EXPECT_EQ(PlanProtectedPdu(PduType::kRequest, true, 32, 16).header_size, 40u);
  EXPECT_EQ(PlanProtectedPdu(PduType::kRequest, true, 32, 16).pad_size, 0u);
  // Responses have no object UUID whatever the caller says.
  EXPECT_EQ(PlanProtectedPdu(PduType::kResponse, true, 0, 16).header_size, 24u);
  EXPECT_THROW(PlanProtectedPdu(PduType::kBind, false, 0, 16), RpcError);
  EXPECT_THROW(PlanProtectedPdu(PduType::kRequest, false, 65500, 76), RpcError);
}

TEST(ProtectedLayoutTest, MaxStubFillsTheFragment) {
  size_t stub = MaxProtectedStub(PduType::kRequest, false, kDefaultMaxFrag, 16);
  EXPECT_EQ(stub, 5792u);
  EXPECT_LE(PlanProtectedPdu(PduType::kRequest, false, stub, 16).frag_length, kDefaultMaxFrag);
  EXPECT_GT(PlanProtectedPdu(PduType::kRequest, false, stub + 16, 16).frag_length, kDefaultMaxFrag);
  EXPECT_THROW(MaxProtectedStub(PduType::kRequest, false, 60, 16), RpcError);
}

TEST(ProtectedLayoutTest, BuiltFragmentIsFinalBeforeSigning) {
  for (bool object : {false, true}) {
    for (size_t stub_size : {0u, 15u, 16u, 100u}) {
      SCOPED_TRACE(::testing::Message() << "object " << object << " stub " << stub_size);
      Pdu pdu = RequestOf(stub_size, object);
      SecurityTrailer trailer{AuthnService::kGssNegotiate, AuthnLevel::kPktPrivacy, 0, 0, 7};
      ProtectedLayout plan;
      std::vector<uint8_t> bytes = BuildProtectedPdu(pdu, trailer, 16, &plan);

      ASSERT_EQ(bytes.size(), plan.frag_length);
      CommonHeader h = DecodeCommonHeader(bytes);
      EXPECT_EQ(h.frag_length, plan.frag_length);
      EXPECT_EQ(h.auth_length, 16);
      EXPECT_EQ((h.flags & kPfcObjectUuid) != 0, object);
      EXPECT_EQ(bytes[plan.trailer_offset], 9);
      EXPECT_EQ(bytes[plan.trailer_offset + 1], 6);
      EXPECT_EQ(bytes[plan.trailer_offset + 2], plan.pad_size);
      EXPECT_EQ((plan.stub_size + plan.pad_size) % 16, 0u);

      ProtectedLayout found = LocateProtectedPdu(bytes);
      EXPECT_EQ(found.header_size, plan.header_size);
      EXPECT_EQ(found.stub_size, plan.stub_size);
      EXPECT_EQ(found.pad_size, plan.pad_size);
      EXPECT_EQ(found.trailer_offset, plan.trailer_offset);
      EXPECT_EQ(found.auth_value_offset, plan.auth_value_offset);

      // The buffers cover everything before the signature, in order, without gaps.
      auto buffers = plan.Buffers(bytes);
      EXPECT_EQ(buffers[0].kind, IoBuffer::Kind::kSignOnly);
      EXPECT_EQ(buffers[1].kind, IoBuffer::Kind::kData);
      EXPECT_EQ(buffers[2].kind, IoBuffer::Kind::kSignOnly);
      const uint8_t* next = bytes.data();
      for (const auto& b : buffers) {
        EXPECT_EQ(b.bytes.data(), next);
        next += b.bytes.size();
      }
      EXPECT_EQ(plan.Signature(bytes).data(), next);
      EXPECT_EQ(plan.Signature(bytes).size(), 16u);
      const std::vector<uint8_t>& sent = std::get<Request>(pdu.body).stub;
      EXPECT_TRUE(std::ranges::equal(plan.Stub(bytes), sent));

      // And the whole fragment decodes as the request it was.
      EXPECT_EQ(std::get<Request>(DecodePdu(bytes).body).stub, sent);
    }
  }
}

TEST(ProtectedLayoutTest, LocateRefusesWhatIsNotAProtectedCall) {
  const testing::NamedHex cases[] = {
      {"not protected", "05 00 02 03 10000000 1c00 0000 03000000 00000000 0000 0000 aabbccdd"},
      {"a protected bind is not a call",
       "05 00 0b 03 10000000 2800 0400 01000000 d016d016 00000000 00 00 0000"
       "0a060000 00000000 01020304"},
      {"trailer reaching back into the response header",
       "05 00 02 03 10000000 2000 0800 03000000 00000000 0a060000 00000000 0102030405060708"},
      {"padding longer than the stub",
       "05 00 02 03 10000000 2800 0400 03000000 00000000 0000 0000 aabbccdd "
       "0a 06 05 00 00000000 11223344"},
      {"truncated", "05 00 02 03 10000000 2400 0400 03000000 00000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testing::StatusOf([&] { LocateProtectedPdu(testing::Hex(c.hex)); }), kProtocolError)
        << c.name;
  }
}

}  // namespace
}  // namespace rpcrt
