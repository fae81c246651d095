// Builds the server's security package for the authentication service a bind names.
#include "rpcrt/server/security/server_context.h"

#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"
#include "rpcrt/server/security/ntlm/acceptor.h"
#include "rpcrt/server/security/spnego/spnego_acceptor.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

namespace {

std::unique_ptr<SecurityContext> CreateNegotiateAcceptor(const ServerCredentials& credentials) {
  std::vector<std::unique_ptr<Mechanism>> offered;
  // What the server is configured with must work: a broken keytab is an error, not a quiet
  // downgrade to NTLM.
  if (!credentials.keytab.empty()) offered.push_back(CreateKerberosAcceptor(credentials));
  if (!credentials.ntlm_account_file.empty()) {
    offered.push_back(CreateNtlmAcceptor(credentials, /*under_spnego=*/true));
  }
  if (offered.empty()) {
    throw RpcError(kSecPkgError, "negotiate: the server has neither a keytab nor NTLM accounts");
  }
  return std::make_unique<spnego::SpnegoAcceptor>(std::move(offered));
}

}  // namespace

std::unique_ptr<SecurityContext> CreateServerContext(AuthnService service,
                                                     const ServerCredentials& credentials) {
  switch (service) {
    case AuthnService::kGssNegotiate:
      return CreateNegotiateAcceptor(credentials);
    case AuthnService::kWinNt:
      return CreateNtlmAcceptor(credentials, /*under_spnego=*/false);
    case AuthnService::kGssKerberos:
      return CreateKerberosAcceptor(credentials);
    case AuthnService::kNone:
      break;
  }
  throw RpcError(kUnknownAuthnService,
                 "unsupported authentication service " + std::to_string(static_cast<int>(service)));
}

}  // namespace rpcrt::security
