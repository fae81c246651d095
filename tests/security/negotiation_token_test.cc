// Encoding and checked decoding of the negotiation messages.
#include <gtest/gtest.h>

#include "rpcrt/security/oids.h"
#include "rpcrt/security/spnego/der.h"
#include "rpcrt/security/spnego/negotiation_token.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using namespace rpcrt::security::spnego;
using Bytes = std::vector<uint8_t>;

Bytes V(std::span<const uint8_t> s) {
  return {s.begin(), s.end()};
}

NegTokenInit SampleInit() {
  NegTokenInit init;
  init.mech_types = {V(oids::kKerberos), V(oids::kNtlm)};
  init.mech_token = Bytes(300, 0x11);
  return init;
}

TEST(NegotiationTokenTest, InitRoundTripsWithItsFraming) {
  const Bytes encoded = EncodeInit(SampleInit());
  ASSERT_GE(encoded.size(), 12u);
  EXPECT_EQ(encoded[0], 0x60) << "GSS-API InitialContextToken";
  EXPECT_TRUE(std::equal(oids::kSpnego.begin(), oids::kSpnego.end(), encoded.begin() + 4))
      << "the SPNEGO OID follows the (long-form) length";
  const NegTokenInit decoded = DecodeInit(encoded);
  EXPECT_EQ(decoded.mech_types, SampleInit().mech_types);
  EXPECT_EQ(decoded.mech_types_der, EncodeMechTypes(SampleInit().mech_types));
  EXPECT_EQ(decoded.mech_token, SampleInit().mech_token);
  EXPECT_FALSE(decoded.mech_list_mic.has_value());
}

TEST(NegotiationTokenTest, RespRoundTripsEveryField) {
  NegTokenResp resp;
  resp.neg_state = NegState::kRequestMic;
  resp.supported_mech = V(oids::kNtlm);
  resp.response_token = Bytes{1, 2, 3};
  resp.mech_list_mic = Bytes(16, 9);
  const NegTokenResp decoded = DecodeResp(EncodeResp(resp));
  EXPECT_EQ(decoded.neg_state, resp.neg_state);
  EXPECT_EQ(decoded.supported_mech, resp.supported_mech);
  EXPECT_EQ(decoded.response_token, resp.response_token);
  EXPECT_EQ(decoded.mech_list_mic, resp.mech_list_mic);

  const NegTokenResp empty = DecodeResp(EncodeResp(NegTokenResp{}));
  EXPECT_FALSE(empty.neg_state || empty.supported_mech || empty.response_token ||
               empty.mech_list_mic);
}

TEST(NegotiationTokenTest, NegTokenInit2HintsAreSkipped) {
  // The form a Windows acceptor advertises: [3] negHints { [0] hintName }, [4] mechListMIC.
  der::Writer fields;
  fields.Add(der::ContextTag(0), EncodeMechTypes({{V(oids::kNtlm)}}));
  der::Writer hint;
  hint.Add(der::ContextTag(0), der::Encode(der::kGeneralString, Bytes{'x'}));
  fields.Add(der::ContextTag(3), der::Encode(der::kSequence, hint.bytes()));
  fields.Add(der::ContextTag(4), der::Encode(der::kOctetString, Bytes{7, 7}));
  der::Writer body;
  body.AddRaw(oids::kSpnego);
  body.Add(der::ContextTag(0), der::Encode(der::kSequence, fields.bytes()));
  const NegTokenInit init = DecodeInit(der::Encode(der::kApplication0, body.bytes()));
  EXPECT_EQ(init.mech_types.size(), 1u);
  EXPECT_EQ(init.mech_list_mic, (Bytes{7, 7}));
}

rpcrt::Status DecodeStatus(const Bytes& token, bool init) {
  try {
    if (init) {
      DecodeInit(token);
    } else {
      DecodeResp(token);
    }
  } catch (const rpcrt::RpcError& e) {
    return e.status();
  }
  return rpcrt::kOk;
}

TEST(NegotiationTokenTest, EveryTruncationIsRejected) {
  NegTokenResp resp;
  resp.neg_state = NegState::kAcceptIncomplete;
  resp.supported_mech = V(oids::kKerberos);
  resp.response_token = Bytes(200, 3);
  for (bool init : {true, false}) {
    const Bytes whole = init ? EncodeInit(SampleInit()) : EncodeResp(resp);
    for (size_t n = 0; n < whole.size(); ++n) {
      Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
      ASSERT_EQ(DecodeStatus(cut, init), rpcrt::kSecPkgError) << "cut at " << n;
    }
    Bytes longer = whole;
    longer.push_back(0);
    EXPECT_EQ(DecodeStatus(longer, init), rpcrt::kSecPkgError) << "trailing byte";
  }
}

TEST(NegotiationTokenTest, StructuralLiesAreRejected) {
  const Bytes oid = V(oids::kKerberos);
  auto resp_with = [](uint8_t field_tag, const Bytes& field) {
    der::Writer fields;
    fields.Add(field_tag, field);
    return der::Encode(der::ContextTag(1), der::Encode(der::kSequence, fields.bytes()));
  };
  auto init_with = [](const Bytes& fields) {
    der::Writer body;
    body.AddRaw(oids::kSpnego);
    body.Add(der::ContextTag(0), der::Encode(der::kSequence, fields));
    return der::Encode(der::kApplication0, body.bytes());
  };
  struct Case {
    const char* what;
    Bytes token;
    bool init;
  };
  const std::vector<Case> cases = {
      {"negState out of range", resp_with(0xa0, der::Encode(der::kEnumerated, Bytes{7})), false},
      {"negState wrong type", resp_with(0xa0, der::Encode(der::kOctetString, Bytes{0})), false},
      {"supportedMech not an OID", resp_with(0xa1, der::Encode(der::kOctetString, oid)), false},
      {"unknown field", resp_with(0xa5, der::Encode(der::kOctetString, Bytes{})), false},
      {"two elements in a field", resp_with(0xa2, Bytes{0x04, 0x00, 0x04, 0x00}), false},
      {"init as resp", EncodeInit(SampleInit()), false},
      {"resp as init", EncodeResp(NegTokenResp{}), true},
      {"wrong framing OID",
       der::Encode(der::kApplication0,
                   [&] {
                     der::Writer w;
                     w.AddRaw(oids::kKerberos);
                     w.Add(der::ContextTag(0), der::Encode(der::kSequence, {}));
                     return w.Take();
                   }()),
       true},
      {"no mechanism list", init_with(der::Encode(0xa2, der::Encode(der::kOctetString, {}))), true},
      {"empty mechanism list", init_with(der::Encode(0xa0, der::Encode(der::kSequence, {}))), true},
      {"fields out of order", init_with([&] {
         der::Writer w;
         w.Add(0xa2, der::Encode(der::kOctetString, {}));
         w.Add(0xa0, EncodeMechTypes({{oid}}));
         return w.Take();
       }()),
       true},
      {"field repeated", init_with([&] {
         der::Writer w;
         w.Add(0xa0, EncodeMechTypes({{oid}}));
         w.Add(0xa0, EncodeMechTypes({{oid}}));
         return w.Take();
       }()),
       true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeStatus(c.token, c.init), rpcrt::kSecPkgError) << c.what;
  }
}

}  // namespace
