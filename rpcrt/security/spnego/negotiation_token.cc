#include "rpcrt/security/spnego/negotiation_token.h"

#include <string>

#include "rpcrt/security/oids.h"
#include "rpcrt/security/spnego/der.h"
#include "rpcrt/status.h"

namespace rpcrt::security::spnego {

namespace {

[[noreturn]] void Malformed(const std::string& what) {
  throw RpcError(kSecPkgError, "malformed negotiation token: " + what);
}

std::vector<uint8_t> ToVector(std::span<const uint8_t> s) {
  return {s.begin(), s.end()};
}

// The single element that an explicit [n] tag wraps.
der::Element Only(std::span<const uint8_t> contents) {
  der::Reader r(contents);
  der::Element e = r.ReadAny();
  r.ExpectEnd();
  return e;
}

std::span<const uint8_t> OnlyOf(std::span<const uint8_t> contents, uint8_t tag) {
  der::Reader r(contents);
  auto inner = r.Read(tag);
  r.ExpectEnd();
  return inner;
}

std::vector<uint8_t> Oid(const der::Element& e) {
  if (e.tag != der::kOid) Malformed("mechanism is not an OID");
  if (e.contents.empty()) Malformed("empty OID");
  return ToVector(e.encoding);
}

// Walks the fields of a SEQUENCE whose members carry explicit tags [0], [1], ... in
// ascending order, each at most once.
class Fields {
 public:
  explicit Fields(std::span<const uint8_t> sequence) : reader_(sequence) {}

  // The next field's number, or -1 at the end.
  int Next() {
    if (reader_.AtEnd()) return -1;
    const uint8_t tag = reader_.PeekTag();
    if ((tag & 0xe0) != 0xa0) Malformed("field without a context tag");
    const int n = tag & 0x1f;
    if (n <= last_) Malformed("fields out of order or repeated");
    last_ = n;
    current_ = reader_.ReadAny().contents;
    return n;
  }
  std::span<const uint8_t> current() const { return current_; }

 private:
  der::Reader reader_;
  std::span<const uint8_t> current_;
  int last_ = -1;
};

}  // namespace

std::vector<uint8_t> EncodeMechTypes(std::span<const std::vector<uint8_t>> mech_types) {
  der::Writer oids;
  for (const auto& oid : mech_types) oids.AddRaw(oid);
  return der::Encode(der::kSequence, oids.bytes());
}

std::vector<uint8_t> EncodeInit(const NegTokenInit& token) {
  der::Writer fields;
  const std::vector<uint8_t> mech_types =
      token.mech_types_der.empty() ? EncodeMechTypes(token.mech_types) : token.mech_types_der;
  fields.Add(der::ContextTag(0), mech_types);
  if (token.mech_token) {
    fields.Add(der::ContextTag(2), der::Encode(der::kOctetString, *token.mech_token));
  }
  if (token.mech_list_mic) {
    fields.Add(der::ContextTag(3), der::Encode(der::kOctetString, *token.mech_list_mic));
  }
  der::Writer body;
  body.AddRaw(oids::kSpnego);
  body.Add(der::ContextTag(0), der::Encode(der::kSequence, fields.bytes()));
  return der::Encode(der::kApplication0, body.bytes());
}

std::vector<uint8_t> EncodeResp(const NegTokenResp& token) {
  der::Writer fields;
  if (token.neg_state) {
    const uint8_t state = static_cast<uint8_t>(*token.neg_state);
    fields.Add(der::ContextTag(0), der::Encode(der::kEnumerated, std::span(&state, 1)));
  }
  if (token.supported_mech) fields.Add(der::ContextTag(1), *token.supported_mech);
  if (token.response_token) {
    fields.Add(der::ContextTag(2), der::Encode(der::kOctetString, *token.response_token));
  }
  if (token.mech_list_mic) {
    fields.Add(der::ContextTag(3), der::Encode(der::kOctetString, *token.mech_list_mic));
  }
  return der::Encode(der::ContextTag(1), der::Encode(der::kSequence, fields.bytes()));
}

NegTokenInit DecodeInit(std::span<const uint8_t> token) {
  der::Reader framing(token);
  der::Reader body(framing.Read(der::kApplication0));
  framing.ExpectEnd();
  if (!oids::Equal(body.ReadAny().encoding, oids::kSpnego)) Malformed("not a SPNEGO token");
  auto choice = body.Read(der::ContextTag(0));
  body.ExpectEnd();

  NegTokenInit out;
  bool have_mech_types = false;
  Fields fields(OnlyOf(choice, der::kSequence));
  for (int n = fields.Next(); n >= 0; n = fields.Next()) {
    switch (n) {
      case 0: {
        der::Element list = Only(fields.current());
        if (list.tag != der::kSequence) Malformed("mechanism list is not a SEQUENCE");
        out.mech_types_der = ToVector(list.encoding);
        der::Reader r(list.contents);
        while (!r.AtEnd()) out.mech_types.push_back(Oid(r.ReadAny()));
        have_mech_types = true;
        break;
      }
      case 1:  // reqFlags: never used by peers, ignored as they advise
        if (Only(fields.current()).tag != der::kBitString) Malformed("reqFlags not a BIT STRING");
        break;
      case 2:
        out.mech_token = ToVector(OnlyOf(fields.current(), der::kOctetString));
        break;
      case 3: {
        // [3] is the mechListMIC, or in the negHints form the hints, then [4] the MIC.
        der::Element e = Only(fields.current());
        if (e.tag == der::kOctetString) {
          out.mech_list_mic = ToVector(e.contents);
        } else if (e.tag != der::kSequence) {
          Malformed("field [3] is neither a MIC nor hints");
        }
        break;
      }
      case 4:
        if (out.mech_list_mic) Malformed("two mechListMICs");
        out.mech_list_mic = ToVector(OnlyOf(fields.current(), der::kOctetString));
        break;
      default:
        Malformed("unknown NegTokenInit field");
    }
  }
  if (!have_mech_types) Malformed("no mechanism list");
  if (out.mech_types.empty()) Malformed("empty mechanism list");
  return out;
}

NegTokenResp DecodeResp(std::span<const uint8_t> token) {
  der::Reader choice(token);
  auto resp = choice.Read(der::ContextTag(1));
  choice.ExpectEnd();

  NegTokenResp out;
  Fields fields(OnlyOf(resp, der::kSequence));
  for (int n = fields.Next(); n >= 0; n = fields.Next()) {
    switch (n) {
      case 0: {
        auto value = OnlyOf(fields.current(), der::kEnumerated);
        if (value.size() != 1 || value[0] > 3) Malformed("unknown negState");
        out.neg_state = static_cast<NegState>(value[0]);
        break;
      }
      case 1:
        out.supported_mech = Oid(Only(fields.current()));
        break;
      case 2:
        out.response_token = ToVector(OnlyOf(fields.current(), der::kOctetString));
        break;
      case 3:
        out.mech_list_mic = ToVector(OnlyOf(fields.current(), der::kOctetString));
        break;
      default:
        Malformed("unknown NegTokenResp field");
    }
  }
  return out;
}

}  // namespace rpcrt::security::spnego
