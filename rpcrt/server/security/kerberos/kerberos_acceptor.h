// The server's side of the Kerberos mechanism: accepts with the keys of a keytab.
#pragma once

#include <memory>

#include "rpcrt/security/mechanism.h"
#include "rpcrt/server/security/server_context.h"

namespace rpcrt::security {

// An acceptor with the keys of ServerCredentials.keytab (and its service_principal, if
// set). Throws KerberosUnavailable when there is no keytab or it holds no usable key.
std::unique_ptr<Mechanism> CreateKerberosAcceptor(const ServerCredentials& credentials);

}  // namespace rpcrt::security
