// The Kerberos mechanism (RFC 4121 through MIT GSS-API, DCE style: three legs, mutual
// authentication, replay and sequence detection, confidentiality and integrity), client side;
// the server's acceptor is in server/security/kerberos/kerberos_acceptor.h.
#pragma once

#include <memory>
#include <string>

#include "rpcrt/security/mechanism.h"
#include "rpcrt/security/security_context.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

// Kerberos cannot be used at all here (no KDC for the realm, no ticket cache, the user is
// not known to the KDC): Negotiate falls back to NTLM on it; raw Kerberos reports it.
class KerberosUnavailable : public RpcError {
 public:
  using RpcError::RpcError;
};

// The Kerberos principal of an explicit identity: user "alice" in domain "example.test" is
// "alice@EXAMPLE.TEST" (realms are upper case); a user already written "alice@realm" keeps
// its own realm, upper-cased; no domain means the default realm.
std::string KerberosPrincipal(const Identity& identity);

// Client credentials, acquired once (a TGT from the KDC for an explicit identity, or the
// current user's ticket cache) and shared by the contexts made from them.
class KerberosClientCredential;

// Acquires the credentials. Throws KerberosUnavailable as above, RpcError(kErrorAccessDenied)
// when the KDC refuses the password, kSecPkgError for anything else.
std::shared_ptr<KerberosClientCredential> AcquireKerberosCredential(
    const ClientCredentials& credentials);

// An initiator for the principal "service/host" (in the realm of the client's credentials).
// `level` decides what SignatureSize measures: a sealed token at packet privacy, a MIC below.
std::unique_ptr<Mechanism> CreateKerberosInitiator(
    std::shared_ptr<KerberosClientCredential> credential, const std::u16string& principal,
    AuthnLevel level = AuthnLevel::kPktPrivacy);

}  // namespace rpcrt::security
