#include "rpcrt/security/ntlm/ntlmv2.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/text.h"
#include "rpcrt/security/security_context.h"

namespace rpcrt::security::ntlm {

namespace {

constexpr size_t kBlobFixedSize = 28;  // up to and including Reserved3

std::span<const uint8_t> Text(const char* s) {
  // The magic constants are hashed with their terminating NUL.
  return {reinterpret_cast<const uint8_t*>(s), std::strlen(s) + 1};
}

}  // namespace

Key NtOwfV2(std::u16string_view password, std::u16string_view user, std::u16string_view domain) {
  std::vector<uint8_t> pw = ToWire(password);
  Key nt_hash = Md4(pw);
  SecureWipe(pw.data(), pw.size());
  std::vector<uint8_t> name = ToWire(ToUpper(user) + std::u16string(domain));
  return HmacMd5(nt_hash.bytes, {name});
}

std::vector<uint8_t> MakeClientBlob(uint64_t timestamp, const Challenge& client_challenge,
                                    std::span<const uint8_t> av_pairs) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.U8(1);  // RespType
  w.U8(1);  // HiRespType
  w.Zeros(6);
  w.U64(timestamp);
  w.Bytes(client_challenge);
  w.Zeros(4);
  w.Bytes(av_pairs);
  w.Zeros(4);
  return out;
}

ClientBlob ParseClientBlob(std::span<const uint8_t> blob) {
  ByteReader r(blob);
  if (r.U8("blob version") != 1 || r.U8("blob version") != 1)
    ThrowBadToken("NTLMv2 blob of unknown version");
  r.Bytes(6, "blob reserved");
  ClientBlob out{};
  out.timestamp = r.U64("blob time stamp");
  auto cc = r.Bytes(kChallengeSize, "client challenge");
  std::copy(cc.begin(), cc.end(), out.client_challenge.begin());
  r.Bytes(4, "blob reserved");
  static_assert(kBlobFixedSize == 28);
  out.av_pairs = AvPairs::Parse(blob.subspan(r.position()));
  return out;
}

NtResponse ComputeNtResponse(const Key& response_key, const Challenge& server_challenge,
                             std::span<const uint8_t> blob) {
  NtResponse out;
  out.proof = HmacMd5(response_key.bytes, {server_challenge, blob});
  out.response.reserve(kNtProofSize + blob.size());
  out.response.insert(out.response.end(), out.proof.bytes.begin(), out.proof.bytes.end());
  out.response.insert(out.response.end(), blob.begin(), blob.end());
  out.session_base_key = HmacMd5(response_key.bytes, {out.proof.bytes});
  return out;
}

std::vector<uint8_t> ComputeLmResponse(const Key& response_key, const Challenge& server_challenge,
                                       const Challenge& client_challenge) {
  Key mac = HmacMd5(response_key.bytes, {server_challenge, client_challenge});
  std::vector<uint8_t> out(kKeySize + kChallengeSize);
  std::memcpy(out.data(), mac.bytes.data(), kKeySize);
  std::memcpy(out.data() + kKeySize, client_challenge.data(), kChallengeSize);
  return out;
}

Key SignKey(const Key& exported_session_key, bool client_to_server) {
  return Md5(
      {exported_session_key.bytes,
       Text(client_to_server ? "session key to client-to-server signing key magic constant"
                             : "session key to server-to-client signing key magic constant")});
}

Key SealKey(const Key& exported_session_key, bool client_to_server) {
  return Md5(
      {exported_session_key.bytes,
       Text(client_to_server ? "session key to client-to-server sealing key magic constant"
                             : "session key to server-to-client sealing key magic constant")});
}

Key ComputeMic(const Key& exported_session_key, std::span<const uint8_t> negotiate,
               std::span<const uint8_t> challenge, std::span<const uint8_t> authenticate) {
  return HmacMd5(exported_session_key.bytes, {negotiate, challenge, authenticate});
}

uint64_t FileTimeNow() {
  using namespace std::chrono;
  constexpr uint64_t kEpochDelta = 11644473600ULL;  // seconds from 1601 to 1970
  const auto since_1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch());
  return (kEpochDelta * 10'000'000ULL) + static_cast<uint64_t>(since_1970.count() / 100);
}

}  // namespace rpcrt::security::ntlm
