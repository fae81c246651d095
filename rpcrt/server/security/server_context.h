// The security packages as a server runs them: what it accepts with, and the acceptor context
// for the authentication service a client's bind names.
#pragma once

#include <memory>
#include <string>

#include "rpcrt/security/security_context.h"

namespace rpcrt::security {

// What a server accepts with.
struct ServerCredentials {
  std::string ntlm_account_file;  // DOMAIN:user:password lines; empty: no NTLM
  std::string keytab;             // Kerberos keytab; empty: no Kerberos
  std::string service_principal;  // acceptor name, e.g. "zelqa/host.example"; empty: any in keytab
};

// Server context that accepts the given service with the given credentials.
std::unique_ptr<SecurityContext> CreateServerContext(AuthnService service,
                                                     const ServerCredentials& credentials);

}  // namespace rpcrt::security
