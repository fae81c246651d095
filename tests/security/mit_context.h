// MIT's own SPNEGO (or any GSS mechanism) as a SecurityContext, the independent peer that
// our SPNEGO must interoperate with.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/security_context.h"

namespace zelqa::testing {

class MitContext : public rpcrt::security::SecurityContext {
 public:
  // An initiator for `target` (a Kerberos principal name) with the current user's tickets,
  // or with a password for `user` when given.
  static std::unique_ptr<MitContext> Initiator(gss_OID mech, const std::string& target,
                                               OM_uint32 flags,
                                               std::optional<std::string> user = std::nullopt,
                                               std::optional<std::string> password = std::nullopt);
  // A SPNEGO initiator restricted to NTLM, with gss-ntlmssp's credentials from NTLM_USER_FILE,
  // for the host-based service "service@host".
  static std::unique_ptr<MitContext> SpnegoNtlmInitiator(const std::string& service_at_host);
  // An acceptor with the default keytab (KRB5_KTNAME) and, through SPNEGO, NTLM_USER_FILE.
  static std::unique_ptr<MitContext> Acceptor();

  rpcrt::security::StepResult Step(std::span<const uint8_t> input,
                                   std::vector<uint8_t>& output) override;
  bool IsEstablished() const override { return established_; }
  size_t SignatureSize(size_t data_size) const override;
  void Seal(std::span<rpcrt::security::IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Unseal(std::span<rpcrt::security::IoBuffer> buffers,
              std::span<const uint8_t> signature) override;
  void Sign(std::span<const rpcrt::security::IoBuffer>, std::span<uint8_t>) override;
  void Verify(std::span<const rpcrt::security::IoBuffer>, std::span<const uint8_t>) override;
  std::string PeerName() const override;
  OM_uint32 flags() const { return flags_; }

 private:
  void SealPlain(std::span<rpcrt::security::IoBuffer> buffers, std::span<uint8_t> signature);
  void UnsealPlain(std::span<rpcrt::security::IoBuffer> buffers,
                   std::span<const uint8_t> signature);

  bool initiator_ = false;
  gss_OID mech_ = GSS_C_NO_OID;
  OM_uint32 req_flags_ = 0;
  OM_uint32 flags_ = 0;
  rpcrt::security::gss::Name target_;
  rpcrt::security::gss::Name peer_;
  rpcrt::security::gss::Credential cred_;
  rpcrt::security::gss::Context ctx_;
  bool established_ = false;
};

// 1.3.6.1.5.5.2 and 1.3.6.1.4.1.311.2.2.10 as GSS-API wants them.
gss_OID SpnegoOid();
gss_OID NtlmOid();

}  // namespace zelqa::testing
