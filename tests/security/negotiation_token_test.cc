// Encoding and checked decoding of the negotiation messages.
#include <gtest/gtest.h>

#include "rpcrt/security/oids.h"
#include "rpcrt/security/spnego/der.h"
#include "rpcrt/security/spnego/negotiation_token.h"

namespace {

using namespace rpcrt::security;
using namespace rpcrt::security::spnego;
using Bytes = std::vector<uint8_t>;

TEST(NegotiationTokenTest, NegTokenInit2HintsAreSkipped) {
  // The form a Windows acceptor advertises: [3] negHints { [0] hintName }, [4] mechListMIC.
  der::Writer fields;
  fields.Add(der::ContextTag(0),
             EncodeMechTypes({{Bytes(oids::kNtlm.begin(), oids::kNtlm.end())}}));
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

}  // namespace
