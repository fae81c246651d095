// The client credential that the Kerberos initiators share.
#pragma once

#include <memory>
#include <string>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/kerberos/kerberos.h"

namespace rpcrt::security {

// Owns an in-memory ticket cache (destroyed with it) that a GSS credential was made from.
class MemoryTicketCache;

class KerberosClientCredential {
 public:
  KerberosClientCredential(gss::Credential cred, std::string principal,
                           std::shared_ptr<MemoryTicketCache> cache = nullptr);
  ~KerberosClientCredential();
  gss_cred_id_t get() const { return cred_.get(); }
  // The client principal as the KDC named it, e.g. "alice@ZAD.TEST".
  const std::string& principal() const { return principal_; }
  // The client's realm, where the service principal is looked up first (as Windows does).
  std::string realm() const;

 private:
  std::shared_ptr<MemoryTicketCache> cache_;  // outlives cred_, which reads from it
  gss::Credential cred_;
  std::string principal_;
};

}  // namespace rpcrt::security
