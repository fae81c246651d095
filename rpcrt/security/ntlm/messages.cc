#include "rpcrt/security/ntlm/messages.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/ntlm/text.h"

namespace rpcrt::security::ntlm {

namespace {

constexpr uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
constexpr uint32_t kTypeNegotiate = 1;
constexpr uint32_t kTypeChallenge = 2;
constexpr uint32_t kTypeAuthenticate = 3;

constexpr size_t kNegotiateHeader = 40;     // with VERSION
constexpr size_t kChallengeHeader = 56;     // with VERSION
constexpr size_t kAuthenticateHeader = 88;  // with VERSION and MIC
constexpr size_t kMaxField = 0xFFFF;

void CheckHeader(ByteReader& r, uint32_t type, const char* name) {
  auto sig = r.Bytes(8, "signature");
  if (std::memcmp(sig.data(), kSignature, sizeof kSignature) != 0)
    ThrowBadToken(std::string(name) + " without the NTLMSSP signature");
  if (r.U32("message type") != type) ThrowBadToken(std::string("not a ") + name + " message");
}

// A (length, maximum length, offset) field that points into the payload.
struct FieldRef {
  uint16_t length;
  uint32_t offset;
};

FieldRef ReadFieldRef(ByteReader& r, const char* what) {
  FieldRef f;
  f.length = r.U16(what);
  r.U16(what);  // the maximum length says nothing a reader needs
  f.offset = r.U32(what);
  return f;
}

std::span<const uint8_t> Resolve(std::span<const uint8_t> token, FieldRef f, const char* what) {
  if (f.length == 0) return {};
  if (f.offset > token.size() || f.length > token.size() - f.offset)
    ThrowBadToken(std::string(what) + " points outside the message");
  return token.subspan(f.offset, f.length);
}

// Lays out payload fields after a fixed header, patching their descriptors as it goes.
class PayloadWriter {
 public:
  PayloadWriter(std::vector<uint8_t>& out, size_t header_size) : out_(out) {
    out_.resize(header_size, 0);
  }
  void Add(size_t descriptor_at, std::span<const uint8_t> bytes) {
    if (bytes.size() > kMaxField) throw RpcError(kSecPkgError, "NTLM message field too long");
    const auto len = static_cast<uint16_t>(bytes.size());
    const auto offset = static_cast<uint32_t>(out_.size());
    uint8_t* d = out_.data() + descriptor_at;
    StoreLe<uint16_t>({d, 2}, len);      // Len
    StoreLe<uint16_t>({d + 2, 2}, len);  // MaxLen
    StoreU32(d + 4, offset);
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }

 private:
  std::vector<uint8_t>& out_;
};

void PutHeader(std::vector<uint8_t>& out, uint32_t type) {
  std::memcpy(out.data(), kSignature, sizeof kSignature);
  StoreU32(out.data() + 8, type);
}

}  // namespace

std::vector<uint8_t> EncodeNegotiate(const NegotiateMessage& m) {
  std::vector<uint8_t> out;
  PayloadWriter p(out, kNegotiateHeader);
  PutHeader(out, kTypeNegotiate);
  StoreU32(out.data() + 12, m.flags | flag::kVersion);
  p.Add(16, {});  // domain: we never send OEM names
  p.Add(24, {});  // workstation
  std::memcpy(out.data() + 32, kOurVersion.data(), kOurVersion.size());
  return out;
}

NegotiateMessage ParseNegotiate(std::span<const uint8_t> token) {
  ByteReader r(token);
  CheckHeader(r, kTypeNegotiate, "NEGOTIATE");
  NegotiateMessage m;
  m.flags = r.U32("negotiate flags");
  // The domain and workstation fields are optional in old clients; when present, they must
  // still point inside the message.
  if (r.remaining() >= 16) {
    Resolve(token, ReadFieldRef(r, "domain field"), "domain field");
    Resolve(token, ReadFieldRef(r, "workstation field"), "workstation field");
  }
  return m;
}

std::vector<uint8_t> EncodeChallenge(const ChallengeMessage& m) {
  std::vector<uint8_t> out;
  PayloadWriter p(out, kChallengeHeader);
  PutHeader(out, kTypeChallenge);
  StoreU32(out.data() + 20, m.flags | flag::kVersion);
  std::memcpy(out.data() + 24, m.server_challenge.data(), kChallengeSize);
  std::memcpy(out.data() + 48, kOurVersion.data(), kOurVersion.size());
  p.Add(12, ToWire(m.target_name));
  p.Add(40, m.target_info);
  return out;
}

ChallengeMessage ParseChallenge(std::span<const uint8_t> token) {
  ByteReader r(token);
  CheckHeader(r, kTypeChallenge, "CHALLENGE");
  ChallengeMessage m;
  FieldRef target_name = ReadFieldRef(r, "target name field");
  m.flags = r.U32("negotiate flags");
  auto challenge = r.Bytes(kChallengeSize, "server challenge");
  std::copy(challenge.begin(), challenge.end(), m.server_challenge.begin());
  r.Bytes(8, "reserved");
  FieldRef target_info = ReadFieldRef(r, "target info field");
  if (m.flags & flag::kUnicode) {
    m.target_name = FromWire(Resolve(token, target_name, "target name"), "target name");
  } else {
    Resolve(token, target_name, "target name");  // checked, but we only speak Unicode
  }
  auto info = Resolve(token, target_info, "target info");
  m.target_info.assign(info.begin(), info.end());
  return m;
}

std::vector<uint8_t> EncodeAuthenticate(const AuthenticateMessage& m) {
  std::vector<uint8_t> out;
  PayloadWriter p(out, kAuthenticateHeader);
  PutHeader(out, kTypeAuthenticate);
  StoreU32(out.data() + 60, m.flags | flag::kVersion);
  std::memcpy(out.data() + 64, kOurVersion.data(), kOurVersion.size());
  std::memcpy(out.data() + kMicOffset, m.mic.data(), kMicSize);
  p.Add(28, ToWire(m.domain));
  p.Add(36, ToWire(m.user));
  p.Add(44, ToWire(m.workstation));
  p.Add(12, m.lm_response);
  p.Add(20, m.nt_response);
  p.Add(52, m.encrypted_session_key);
  return out;
}

AuthenticateMessage ParseAuthenticate(std::span<const uint8_t> token) {
  ByteReader r(token);
  CheckHeader(r, kTypeAuthenticate, "AUTHENTICATE");
  FieldRef lm = ReadFieldRef(r, "LM response field");
  FieldRef nt = ReadFieldRef(r, "NT response field");
  FieldRef domain = ReadFieldRef(r, "domain field");
  FieldRef user = ReadFieldRef(r, "user field");
  FieldRef workstation = ReadFieldRef(r, "workstation field");
  FieldRef key = ReadFieldRef(r, "session key field");
  AuthenticateMessage m;
  m.flags = r.U32("negotiate flags");
  if (!(m.flags & flag::kUnicode)) ThrowBadToken("AUTHENTICATE without Unicode names");

  auto lm_bytes = Resolve(token, lm, "LM response");
  auto nt_bytes = Resolve(token, nt, "NT response");
  m.lm_response.assign(lm_bytes.begin(), lm_bytes.end());
  m.nt_response.assign(nt_bytes.begin(), nt_bytes.end());
  m.domain = FromWire(Resolve(token, domain, "domain"), "domain");
  m.user = FromWire(Resolve(token, user, "user name"), "user name");
  m.workstation = FromWire(Resolve(token, workstation, "workstation"), "workstation");
  auto key_bytes = Resolve(token, key, "session key");
  m.encrypted_session_key.assign(key_bytes.begin(), key_bytes.end());

  // The MIC has no descriptor of its own: it is there when the payload starts after it.
  size_t payload_start = token.size();
  for (FieldRef f : {lm, nt, domain, user, workstation, key}) {
    if (f.length != 0) payload_start = std::min<size_t>(payload_start, f.offset);
  }
  if (payload_start >= kMicOffset + kMicSize && token.size() >= kMicOffset + kMicSize) {
    m.has_mic = true;
    std::memcpy(m.mic.data(), token.data() + kMicOffset, kMicSize);
  }
  return m;
}

}  // namespace rpcrt::security::ntlm

namespace rpcrt::security {

bool IsNtlmToken(std::span<const uint8_t> token) {
  return token.size() >= sizeof ntlm::kSignature &&
         std::equal(std::begin(ntlm::kSignature), std::end(ntlm::kSignature), token.begin());
}

}  // namespace rpcrt::security
