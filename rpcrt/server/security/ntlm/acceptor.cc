#include "rpcrt/server/security/ntlm/acceptor.h"

#include <algorithm>

#include "rpcrt/security/ntlm/av_pairs.h"
#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/context_base.h"
#include "rpcrt/security/ntlm/host_names.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/ntlm/text.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

namespace {

// Flags the server grants when the client asks for them.
constexpr uint32_t kGrantable = flag::kSign | flag::kSeal | flag::kAlwaysSign | flag::k128 |
                                flag::k56 | flag::kKeyExchange | flag::kRequestTarget;

// Flags the server always sets.
constexpr uint32_t kAlwaysSet = flag::kUnicode | flag::kNtlm | flag::kTargetInfo |
                                flag::kTargetTypeServer | flag::kExtendedSessionSecurity |
                                flag::kSign | flag::kSeal | flag::kVersion;

// NTProofStr plus the fixed part of the blob plus an empty AV list.
constexpr size_t kMinNtlmV2Response = kNtProofSize + 28 + 4;

[[noreturn]] void Deny(const std::string& why) {
  throw RpcError(kErrorAccessDenied, "NTLM logon failed: " + why);
}

std::vector<uint8_t> Le64(uint64_t v) {
  std::vector<uint8_t> out;
  ByteWriter(out).U64(v);
  return out;
}

class Acceptor final : public ContextBase {
 public:
  Acceptor(AccountStore accounts, AcceptorSettings settings)
      : ContextBase(settings.under_spnego),
        accounts_(std::move(accounts)),
        settings_(std::move(settings)) {}

  std::string PeerName() const override {
    if (!IsEstablished()) throw RpcError(kSecPkgError, "NTLM context is not established");
    return peer_name_;
  }

 private:
  std::vector<uint8_t> FirstLeg(std::span<const uint8_t> negotiate_token) override {
    const NegotiateMessage negotiate = ParseNegotiate(negotiate_token);
    if (!(negotiate.flags & flag::kUnicode))
      throw RpcError(kSecPkgError, "NTLM client does not offer Unicode");
    if (!(negotiate.flags & flag::kExtendedSessionSecurity))
      throw RpcError(kSecPkgError, "NTLM client does not offer extended session security");
    if (!(negotiate.flags & flag::k128))
      throw RpcError(kSecPkgError, "NTLM client does not offer 128-bit keys");

    ChallengeMessage challenge;
    challenge.flags = kAlwaysSet | (negotiate.flags & kGrantable);
    if (settings_.server_challenge) {
      challenge.server_challenge = *settings_.server_challenge;
    } else {
      FillRandom(challenge.server_challenge);
    }
    const HostNames names = LocalHostNames();
    challenge.target_name = names.netbios_domain;
    AvPairs info;
    info.Set(kAvNbDomainName, ToWire(names.netbios_domain));
    info.Set(kAvNbComputerName, ToWire(names.netbios_computer));
    info.Set(kAvDnsDomainName, ToWire(names.dns_domain));
    info.Set(kAvDnsComputerName, ToWire(names.dns_computer));
    info.Set(kAvTimestamp, Le64(settings_.timestamp.value_or(FileTimeNow())));
    challenge.target_info = info.Encode();

    offered_flags_ = challenge.flags;
    server_challenge_ = challenge.server_challenge;
    negotiate_.assign(negotiate_token.begin(), negotiate_token.end());
    challenge_ = EncodeChallenge(challenge);
    return challenge_;
  }

  // AUTHENTICATE ends the exchange; nothing is answered.
  std::vector<uint8_t> LastLeg(std::span<const uint8_t> token) override {
    Accept(token);
    return {};
  }

  void Accept(std::span<const uint8_t> token) {
    const AuthenticateMessage auth = ParseAuthenticate(token);
    if (auth.user.empty() && auth.nt_response.empty()) Deny("anonymous logon is not accepted");
    if (auth.nt_response.size() == 24) Deny("NTLMv1 responses are not accepted");
    if (auth.nt_response.size() < kMinNtlmV2Response)
      throw RpcError(kSecPkgError, "malformed NTLM message: NTLMv2 response too short");

    const uint32_t flags = auth.flags & offered_flags_;
    if (!(flags & flag::kExtendedSessionSecurity) || !(flags & flag::k128))
      throw RpcError(kSecPkgError, "NTLM client dropped extended session security");

    const std::span<const uint8_t> response(auth.nt_response);
    const std::span<const uint8_t> proof = response.first(kNtProofSize);
    const std::span<const uint8_t> blob = response.subspan(kNtProofSize);
    const ClientBlob parsed = ParseClientBlob(blob);

    const Identity* account = accounts_.Find(auth.user, auth.domain);
    const size_t at = auth.user.rfind(u'@');
    if (account == nullptr && auth.domain.empty() && at != std::u16string::npos) {
      // "user@domain" with no domain field; the hash below still uses the names as sent.
      account = accounts_.Find(std::u16string_view(auth.user).substr(0, at),
                               std::u16string_view(auth.user).substr(at + 1));
    }
    if (account == nullptr) Deny("unknown user");
    const Key response_key = NtOwfV2(account->password, auth.user, auth.domain);
    const NtResponse expected = ComputeNtResponse(response_key, server_challenge_, blob);
    if (!EqualSecret(expected.proof.bytes, proof)) Deny("wrong password");

    Key exported = expected.session_base_key;
    if (flags & flag::kKeyExchange) {
      if (auth.encrypted_session_key.size() != kKeySize)
        throw RpcError(kSecPkgError, "malformed NTLM message: session key is not 16 bytes");
      exported =
          Rc4Once(expected.session_base_key.bytes,
                  std::span<const uint8_t, kKeySize>(auth.encrypted_session_key.data(), kKeySize));
    }

    // The AV pairs are covered by the proof, so a MIC the client announced cannot have been
    // stripped; when announced, it must match.
    if (parsed.av_pairs.Flags().value_or(0) & kAvFlagMicPresent) {
      if (!auth.has_mic) throw RpcError(kSecPkgError, "malformed NTLM message: MIC missing");
      std::vector<uint8_t> zeroed(token.begin(), token.end());
      std::fill_n(zeroed.begin() + kMicOffset, kMicSize, 0);
      const Key mic = ComputeMic(exported, negotiate_, challenge_, zeroed);
      if (!EqualSecret(mic.bytes, auth.mic))
        throw RpcError(kSecPkgError, "NTLM message integrity code does not match");
    }

    const std::u16string& domain = account->domain.empty() ? auth.domain : account->domain;
    peer_name_ = Utf16ToUtf8(domain) + "\\" + Utf16ToUtf8(account->user);
    Establish(exported, flags, /*initiator=*/false);
    accounts_ = AccountStore();  // the passwords are not needed any more; their owners wipe them
  }

  AccountStore accounts_;
  AcceptorSettings settings_;
  uint32_t offered_flags_ = 0;
  ntlm::Challenge server_challenge_{};
  std::vector<uint8_t> negotiate_;
  std::vector<uint8_t> challenge_;
  std::string peer_name_;
};

}  // namespace

std::unique_ptr<Mechanism> CreateAcceptor(AccountStore accounts, AcceptorSettings settings) {
  return std::make_unique<Acceptor>(std::move(accounts), std::move(settings));
}

}  // namespace rpcrt::security::ntlm

namespace rpcrt::security {

std::unique_ptr<Mechanism> CreateNtlmAcceptor(const ServerCredentials& credentials,
                                              bool under_spnego) {
  if (credentials.ntlm_account_file.empty())
    throw RpcError(kSecPkgError, "no NTLM account file is configured for this server");
  ntlm::AcceptorSettings settings;
  settings.under_spnego = under_spnego;
  return ntlm::CreateAcceptor(ntlm::AccountStore::Load(credentials.ntlm_account_file),
                              std::move(settings));
}

}  // namespace rpcrt::security
