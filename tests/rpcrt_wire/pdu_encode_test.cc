// Every PDU type encoded to its exact bytes and decoded back.
#include <gtest/gtest.h>

#include "rpcrt/pdu/fault_status.h"
#include "rpcrt/pdu/pdu.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using namespace security;
using namespace testing;

constexpr SyntaxId kDoRpcInterface{MakeUuid("d1c2c07a-d989-48cc-a423-b73ecd518d40"), 1, 0};
const char* const kDoRpcSyntaxHex = "7ac0c2d1 89d9 cc48 a423b73ecd518d40 0100 0000";
const char* const kNdrSyntaxHex = "045d888a eb1c c911 9fe808002b104860 0200 0000";

Pdu Make(uint32_t call_id, PduBody body, std::optional<AuthVerifier> auth = std::nullopt,
         uint8_t extra_flags = 0) {
  Pdu pdu;
  pdu.flags |= extra_flags;
  pdu.call_id = call_id;
  pdu.body = std::move(body);
  pdu.auth = std::move(auth);
  return pdu;
}

Pdu RoundTrip(const Pdu& pdu, const std::vector<uint8_t>& expected) {
  auto bytes = EncodePdu(pdu);
  EXPECT_EQ(bytes, expected);
  return DecodePdu(bytes);
}

TEST(PduEncodeTest, BindOffersInterfaceAndFeatureNegotiation) {
  Bind bind;
  bind.contexts.push_back({0, kDoRpcInterface, {kNdrSyntax}});
  bind.contexts.push_back({1, kDoRpcInterface, {BindTimeFeatureSyntax(3)}});
  const Pdu pdu = Make(1, bind,
                       AuthVerifier{{AuthnService::kGssNegotiate, AuthnLevel::kPktPrivacy, 0, 0, 0},
                                    Hex("60 0a 0b 0c")},
                       kPfcSupportHeaderSign);

  auto expected = Concat({
      Hex("05 00 0b 07 10000000 8000 0400 01000000"),  // frag 128, auth 4
      Hex("d016 d016 00000000 02 00 0000"),
      Hex("0000 01 00"),
      Hex(kDoRpcSyntaxHex),
      Hex(kNdrSyntaxHex),
      Hex("0100 01 00"),
      Hex(kDoRpcSyntaxHex),
      Hex("2c1cb76c 1298 4045 0300000000000000 0100 0000"),
      Hex("09 06 00 00 00000000 600a0b0c"),
  });
  Pdu back = RoundTrip(pdu, expected);
  EXPECT_EQ(back.type(), PduType::kBind);
  EXPECT_EQ(back.flags, kPfcFirstFrag | kPfcLastFrag | kPfcSupportHeaderSign);
  EXPECT_EQ(back.call_id, 1u);
  const auto& b = std::get<Bind>(back.body);
  ASSERT_EQ(b.contexts.size(), 2u);
  EXPECT_EQ(b.contexts[0].abstract_syntax, kDoRpcInterface);
  EXPECT_EQ(b.contexts[0].transfer_syntaxes, std::vector<SyntaxId>{kNdrSyntax});
  EXPECT_EQ(BindTimeFeatures(b.contexts[1].transfer_syntaxes.at(0)), 3);
  EXPECT_EQ(BindTimeFeatures(kNdrSyntax), std::nullopt);
  ASSERT_TRUE(back.auth.has_value());
  EXPECT_EQ(back.auth->trailer.auth_type, AuthnService::kGssNegotiate);
  EXPECT_EQ(back.auth->trailer.auth_level, AuthnLevel::kPktPrivacy);
  EXPECT_EQ(back.auth->auth_value, Hex("600a0b0c"));
}

TEST(PduEncodeTest, AlterContextHasTheBindLayout) {
  AlterContext alter;
  alter.assoc_group_id = 0x1234;
  alter.contexts.push_back({0, kDoRpcInterface, {kNdrSyntax}});
  const Pdu pdu = Make(2, alter);
  Pdu back = RoundTrip(pdu, Concat({Hex("05 00 0e 03 10000000 4800 0000 02000000"),
                                    Hex("d016 d016 34120000 01 00 0000 0000 01 00"),
                                    Hex(kDoRpcSyntaxHex), Hex(kNdrSyntaxHex)}));
  EXPECT_EQ(std::get<AlterContext>(back.body).assoc_group_id, 0x1234u);
}

TEST(PduEncodeTest, BindAckAlignsTheResultsAfterTheSecondaryAddress) {
  BindAck ack;
  ack.assoc_group_id = 0x00012345;
  ack.secondary_address = "135";  // 2 + 4 bytes: needs 2 bytes of padding
  ack.results.push_back({ContextResultCode::kAcceptance, 0, kNdrSyntax});
  ack.results.push_back(
      NegotiateAck(*BindTimeFeatures(BindTimeFeatureSyntax(0x0007)),
                   kFeatureSecurityContextMultiplexing | kFeatureKeepConnectionOnOrphan));
  const Pdu pdu = Make(1, ack);
  auto expected = Concat({
      Hex("05 00 0c 03 10000000 5400 0000 01000000"),
      Hex("d016 d016 45230100 0400 31333500 0000"),
      Hex("02 00 0000"),
      Hex("0000 0000"),
      Hex(kNdrSyntaxHex),
      Hex("0300 0300 00000000000000000000000000000000 00000000"),
  });
  Pdu back = RoundTrip(pdu, expected);
  const auto& b = std::get<BindAck>(back.body);
  EXPECT_EQ(b.secondary_address, "135");
  ASSERT_EQ(b.results.size(), 2u);
  EXPECT_EQ(b.results[0].transfer_syntax, kNdrSyntax);
  EXPECT_EQ(b.results[1].result, ContextResultCode::kNegotiateAck);
  EXPECT_EQ(b.results[1].reason, 3);
}

TEST(PduEncodeTest, AlterContextRespWithoutSecondaryAddress) {
  AlterContextResp resp;
  resp.results.push_back({ContextResultCode::kProviderRejection,
                          static_cast<uint16_t>(ProviderReason::kAbstractSyntaxNotSupported),
                          {}});
  const Pdu pdu = Make(9, resp);
  Pdu back = RoundTrip(pdu, Concat({Hex("05 00 0f 03 10000000 3800 0000 09000000"),
                                    Hex("d016 d016 00000000 0000 0000 01 00 0000"),
                                    Hex("0200 0100 0000000000000000000000000000000000000000")}));
  EXPECT_EQ(std::get<AlterContextResp>(back.body).results.at(0).result,
            ContextResultCode::kProviderRejection);
}

TEST(PduEncodeTest, BindNakListsSupportedVersions) {
  const Pdu pdu =
      Make(1, BindNak{BindRejectReason::kProtocolVersionNotSupported, {{5, 0}, {5, 1}}});
  Pdu back = RoundTrip(pdu, Hex("05 00 0d 03 10000000 1700 0000 01000000 0400 02 0500 0501"));
  const auto& nak = std::get<BindNak>(back.body);
  EXPECT_EQ(nak.reject_reason, BindRejectReason::kProtocolVersionNotSupported);
  EXPECT_EQ(nak.versions, (std::vector<ProtocolVersion>{{5, 0}, {5, 1}}));
}

TEST(PduEncodeTest, BindNakFromOlderPeersMayEndAtTheReason) {
  const auto nak =
      std::get<BindNak>(DecodePdu(Hex("05 00 0d 03 10000000 1200 0000 01000000 0200")).body);
  EXPECT_EQ(nak.reject_reason, BindRejectReason::kLocalLimitExceeded);
  EXPECT_TRUE(nak.versions.empty());
}

TEST(PduEncodeTest, RequestWithAndWithoutObject) {
  Request req{0, 1, 3, std::nullopt, Hex("aabbccdd")};
  Pdu pdu = Make(2, req);
  Pdu back =
      RoundTrip(pdu, Hex("05 00 00 03 10000000 1c00 0000 02000000 04000000 0100 0300 aabbccdd"));
  EXPECT_FALSE(std::get<Request>(back.body).object.has_value());
  EXPECT_EQ(std::get<Request>(back.body).stub, Hex("aabbccdd"));

  req.object = MakeUuid("01020304-0506-0708-090a-0b0c0d0e0f10");
  pdu.body = req;
  back = RoundTrip(pdu, Hex("05 00 00 83 10000000 2c00 0000 02000000 04000000 0100 0300"
                            "04030201 0605 0807 090a0b0c0d0e0f10 aabbccdd"));
  EXPECT_EQ(back.flags & kPfcObjectUuid, kPfcObjectUuid);
  EXPECT_EQ(std::get<Request>(back.body).object, req.object);
}

TEST(PduEncodeTest, ProtectedRequestPadsTheStubToSixteen) {
  const Pdu pdu = Make(5, Request{0, 0, 0, std::nullopt, Hex("0102030405")},
                       AuthVerifier{{AuthnService::kWinNt, AuthnLevel::kPktPrivacy, 0, 0, 1},
                                    std::vector<uint8_t>(16, 0xee)});
  Pdu back =
      RoundTrip(pdu, Concat({Hex("05 00 00 03 10000000 4000 1000 05000000 05000000 0000 0000"),
                             Hex("0102030405 0000000000000000000000"), Hex("0a 06 0b 00 01000000"),
                             std::vector<uint8_t>(16, 0xee)}));
  EXPECT_EQ(std::get<Request>(back.body).stub, Hex("0102030405"));
  EXPECT_EQ(back.auth->trailer.auth_pad_length, 11);
  EXPECT_EQ(back.auth->trailer.auth_context_id, 1u);
}

TEST(PduEncodeTest, ResponseAndFault) {
  Pdu pdu = Make(7, Response{0, 1, 0, Hex("01020304 05")});
  Pdu back = RoundTrip(pdu, Hex("05 00 02 03 10000000 1d00 0000 07000000 05000000 0100 00 00 "
                                "01020304 05"));
  EXPECT_EQ(std::get<Response>(back.body).stub, Hex("0102030405"));

  pdu.flags |= kPfcDidNotExecute;
  pdu.body = Fault{0, 0, 0, 0, kNcaUnknownIf, {}};
  back = RoundTrip(pdu, Hex("05 00 03 23 10000000 2000 0000 07000000 00000000 0000 00 00 "
                            "0300011c 00000000"));
  EXPECT_EQ(std::get<Fault>(back.body).status, kNcaUnknownIf);
  EXPECT_EQ(FaultStatusToStatus(std::get<Fault>(back.body).status), kUnknownIf);
}

TEST(PduEncodeTest, FaultWithExtendedErrorInformationIsTolerated) {
  // Flags octet says extended error information follows; the bytes are kept as received.
  const Pdu pdu =
      DecodePdu(Hex("05 00 03 03 10000000 2800 0000 07000000 08000000 0000 00 01 "
                    "05000000 00000000 1122334455667788"));
  const auto& fault = std::get<Fault>(pdu.body);
  EXPECT_EQ(fault.fault_flags, kFaultExtendedErrorPresent);
  EXPECT_EQ(fault.status, kErrorAccessDenied);
  EXPECT_EQ(fault.stub, Hex("1122334455667788"));

  // A fault that ends right after its status.
  auto short_fault = Hex("05 00 03 03 10000000 1c00 0000 07000000 00000000 0000 00 00 f7060000");
  EXPECT_EQ(std::get<Fault>(DecodePdu(short_fault).body).status, kNcaFaultNdr);
}

TEST(PduEncodeTest, StublessPdus) {
  Pdu pdu =
      Make(3, Auth3{},
           AuthVerifier{{AuthnService::kWinNt, AuthnLevel::kPktPrivacy, 0, 0, 0}, Hex("deadbeef")});
  Pdu back = RoundTrip(pdu, Hex("05 00 10 03 10000000 2000 0400 03000000 00000000 0a060000 "
                                "00000000 deadbeef"));
  EXPECT_EQ(back.type(), PduType::kAuth3);
  EXPECT_EQ(back.auth->auth_value, Hex("deadbeef"));

  pdu.auth.reset();
  pdu.body = Shutdown{};
  EXPECT_EQ(RoundTrip(pdu, Hex("05 00 11 03 10000000 1000 0000 03000000")).type(),
            PduType::kShutdown);
}

TEST(PduEncodeTest, BigEndianPeersAreDecodedInTheirOrder) {
  auto bytes = Hex("05 00 02 03 00000000 001c 0000 00000007 00000004 0001 00 00 00000002");
  Pdu pdu = DecodePdu(bytes);
  EXPECT_FALSE(pdu.drep.little_endian());
  EXPECT_EQ(pdu.call_id, 7u);
  const auto& resp = std::get<Response>(pdu.body);
  EXPECT_EQ(resp.alloc_hint, 4u);
  EXPECT_EQ(resp.context_id, 1);
  EXPECT_EQ(resp.stub, Hex("00000002"));
  // Encoding with the same drep gives the same bytes back.
  EXPECT_EQ(EncodePdu(pdu), bytes);
}

TEST(PduEncodeTest, DecodingStopsAtFragLength) {
  // The next fragment's bytes follow in the same buffer.
  auto bytes = Hex("05 00 11 03 10000000 1000 0000 03000000 05 00 11 03");
  EXPECT_EQ(DecodePdu(bytes).type(), PduType::kShutdown);
}

TEST(PduEncodeTest, EncoderRefusesWhatDoesNotFitOneFragment) {
  Pdu pdu;
  pdu.body = Request{0, 0, 0, std::nullopt, std::vector<uint8_t>(0xffff, 0)};
  EXPECT_THROW(EncodePdu(pdu), RpcError);

  Bind bind;
  bind.contexts.resize(256);
  pdu.body = bind;
  EXPECT_EQ(testing::StatusOf([&] { EncodePdu(pdu); }), kErrorInvalidParameter);
}

TEST(FaultStatusTest, MapsDceCodesAndPassesWin32CodesThrough) {
  EXPECT_EQ(FaultStatusToStatus(kNcaOpRangeError), kProcnumOutOfRange);
  EXPECT_EQ(FaultStatusToStatus(kErrorAccessDenied), kErrorAccessDenied);
  EXPECT_EQ(StatusToFaultStatus(kUnknownIf), kNcaUnknownIf);
  EXPECT_EQ(StatusToFaultStatus(1234), 1234u);
}

}  // namespace
}  // namespace rpcrt
