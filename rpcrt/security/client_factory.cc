// Chooses and builds the client's security package for a binding, as the Windows Negotiate
// package chooses: Kerberos when credentials for it can be had, NTLM otherwise.
#include <optional>

#include "rpcrt/security/auth_notes.h"
#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/security_context.h"
#include "rpcrt/security/spnego/spnego_initiator.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

namespace {

std::unique_ptr<SecurityContext> CreateNegotiateInitiator(const ClientCredentials& credentials,
                                                          const std::u16string& principal,
                                                          AuthnLevel level) {
  std::vector<std::unique_ptr<Mechanism>> candidates;
  std::optional<RpcError> kerberos_error;
  const bool kerberos_known_unusable =
      credentials.kerberos_unusable && credentials.kerberos_unusable->load();
  if (kerberos_known_unusable) {
    AuthNote("Negotiate: Kerberos is not tried: it was found unusable with these credentials");
  } else {
    try {
      // A KDC that refuses the password ends it here (access denied); only a Kerberos that
      // cannot be used at all (no KDC, no ticket cache, user unknown there) leaves it to NTLM.
      candidates.push_back(
          CreateKerberosInitiator(AcquireKerberosCredential(credentials), principal, level));
    } catch (const KerberosUnavailable& e) {
      AuthNote(std::string("Negotiate: Kerberos cannot be used, falling back to NTLM: ") +
               e.what());
      kerberos_error = e;
      if (credentials.kerberos_unusable) credentials.kerberos_unusable->store(true);
    }
  }
  try {
    candidates.push_back(CreateNtlmInitiator(credentials, /*under_spnego=*/true, principal));
  } catch (const RpcError&) {
    // Without Kerberos either, the Kerberos reason is the one worth reporting.
    if (candidates.empty()) {
      if (kerberos_error) throw *kerberos_error;
      throw;
    }
  }
  return std::make_unique<spnego::SpnegoInitiator>(std::move(candidates));
}

}  // namespace

std::unique_ptr<SecurityContext> CreateClientContext(AuthnService service,
                                                     const ClientCredentials& credentials,
                                                     const std::u16string& principal,
                                                     AuthnLevel level) {
  switch (service) {
    case AuthnService::kGssNegotiate:
      return CreateNegotiateInitiator(credentials, principal, level);
    case AuthnService::kWinNt:
      return CreateNtlmInitiator(credentials, /*under_spnego=*/false, principal);
    case AuthnService::kGssKerberos:
      return CreateKerberosInitiator(AcquireKerberosCredential(credentials), principal, level);
    case AuthnService::kNone:
      break;
  }
  throw RpcError(kUnknownAuthnService,
                 "unsupported authentication service " + std::to_string(static_cast<int>(service)));
}

}  // namespace rpcrt::security
