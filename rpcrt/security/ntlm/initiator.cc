#include "rpcrt/security/ntlm/initiator.h"

#include <algorithm>
#include <cstring>

#include "rpcrt/security/ntlm/account_file.h"
#include "rpcrt/security/ntlm/av_pairs.h"
#include "rpcrt/security/ntlm/byte_io.h"
#include "rpcrt/security/ntlm/context_base.h"
#include "rpcrt/security/ntlm/host_names.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/ntlm/text.h"
#include "rpcrt/security/utf8.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

namespace {

constexpr uint32_t kRequestedFlags = flag::kUnicode | flag::kRequestTarget | flag::kSign |
                                     flag::kSeal | flag::kNtlm | flag::kAlwaysSign |
                                     flag::kExtendedSessionSecurity | flag::kVersion | flag::k128 |
                                     flag::kKeyExchange | flag::k56;

// What a server must grant for NTLMv2 with 128-bit sealing.
constexpr struct {
  uint32_t bit;
  const char* name;
} kRequiredFromServer[] = {
    {flag::kUnicode, "Unicode"},  {flag::kExtendedSessionSecurity, "extended session security"},
    {flag::k128, "128-bit keys"}, {flag::kSign, "signing"},
    {flag::kSeal, "sealing"},     {flag::kTargetInfo, "target information"},
};

class Initiator final : public ContextBase {
 public:
  Initiator(const ClientCredentials& credentials, InitiatorSettings settings)
      : ContextBase(settings.under_spnego),
        identity_(credentials.identity ? *credentials.identity : CurrentUserIdentity()),
        settings_(std::move(settings)) {
    if (settings_.workstation.empty()) settings_.workstation = LocalHostNames().netbios_computer;
  }

  std::string PeerName() const override {
    throw RpcError(kSecPkgError, "the NTLM client has no authenticated peer name");
  }

  std::string Describe() const override {
    return "NTLM as " + ToUtf8(identity_.domain) + "\\" + ToUtf8(identity_.user);
  }

 private:
  std::vector<uint8_t> FirstLeg(std::span<const uint8_t> input) override {
    if (!input.empty()) throw RpcError(kSecPkgError, "NTLM client expects no first token");
    negotiate_ = EncodeNegotiate(NegotiateMessage{kRequestedFlags});
    return negotiate_;
  }

  std::vector<uint8_t> LastLeg(std::span<const uint8_t> challenge) override {
    std::vector<uint8_t> authenticate = Authenticate(challenge);
    ForgetPassword();
    return authenticate;
  }

  // The password is needed for one leg only; it does not stay for the life of the context.
  void ForgetPassword() {
    std::u16string& pw = identity_.password;
    pw.resize(pw.capacity());
    SecureWipe(pw.data(), pw.size() * sizeof(char16_t));
    pw.clear();
  }

  std::vector<uint8_t> Authenticate(std::span<const uint8_t> challenge_token) {
    const ChallengeMessage challenge = ParseChallenge(challenge_token);
    for (const auto& r : kRequiredFromServer) {
      if (!(challenge.flags & r.bit))
        throw RpcError(kSecPkgError, std::string("NTLM server does not offer ") + r.name);
    }
    const uint32_t flags = challenge.flags & (kRequestedFlags | flag::kTargetInfo |
                                              flag::kTargetTypeServer | flag::kTargetTypeDomain);

    AvPairs target_info = AvPairs::Parse(challenge.target_info);
    const std::optional<uint64_t> server_time = target_info.Timestamp();
    const uint64_t timestamp =
        settings_.timestamp ? *settings_.timestamp : server_time.value_or(FileTimeNow());

    // The server's list, told that a MIC follows, naming the service we mean and carrying
    // unbound (zero) channel bindings.
    std::vector<uint8_t> av_flags(4);
    StoreU32(av_flags.data(), target_info.Flags().value_or(0) | kAvFlagMicPresent);
    target_info.Set(kAvFlags, std::move(av_flags));
    target_info.Set(kAvChannelBindings, std::vector<uint8_t>(16, 0));
    if (!settings_.target_name.empty())
      target_info.Set(kAvTargetName, ToWire(settings_.target_name));

    Challenge client_challenge{};
    if (settings_.client_challenge) {
      client_challenge = *settings_.client_challenge;
    } else {
      FillRandom(client_challenge);
    }

    const Key response_key = NtOwfV2(identity_.password, identity_.user, identity_.domain);
    const std::vector<uint8_t> blob =
        MakeClientBlob(timestamp, client_challenge, target_info.Encode());
    NtResponse nt = ComputeNtResponse(response_key, challenge.server_challenge, blob);

    AuthenticateMessage auth;
    auth.flags = flags;
    // With the server's time stamp present, the LMv2 response is replaced by zeros.
    auth.lm_response =
        server_time ? std::vector<uint8_t>(24, 0)
                    : ComputeLmResponse(response_key, challenge.server_challenge, client_challenge);
    auth.nt_response = std::move(nt.response);
    auth.domain = identity_.domain;
    auth.user = identity_.user;
    auth.workstation = settings_.workstation;

    // For NTLMv2 the key exchange key is the session base key.
    Key exported = nt.session_base_key;
    if (flags & flag::kKeyExchange) {
      if (settings_.session_key) {
        exported = *settings_.session_key;
      } else {
        FillRandom(exported.bytes);
      }
      Key encrypted = Rc4Once(nt.session_base_key.bytes, exported.bytes);
      auth.encrypted_session_key.assign(encrypted.bytes.begin(), encrypted.bytes.end());
    }

    std::vector<uint8_t> token = EncodeAuthenticate(auth);
    const Key mic = ComputeMic(exported, negotiate_, challenge_token, token);
    std::copy(mic.bytes.begin(), mic.bytes.end(), token.begin() + kMicOffset);
    Establish(exported, flags, /*initiator=*/true);
    return token;
  }

  Identity identity_;
  InitiatorSettings settings_;
  std::vector<uint8_t> negotiate_;
};

}  // namespace

std::unique_ptr<Mechanism> CreateInitiator(const ClientCredentials& credentials,
                                           InitiatorSettings settings) {
  return std::make_unique<Initiator>(credentials, std::move(settings));
}

}  // namespace rpcrt::security::ntlm

namespace rpcrt::security {

std::unique_ptr<Mechanism> CreateNtlmInitiator(const ClientCredentials& credentials,
                                               bool under_spnego,
                                               const std::u16string& target_name) {
  ntlm::InitiatorSettings settings;
  settings.under_spnego = under_spnego;
  settings.target_name = target_name;
  return ntlm::CreateInitiator(credentials, std::move(settings));
}

}  // namespace rpcrt::security
