// The client credential that the Kerberos initiators share.
#pragma once

#include <string>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/kerberos/kerberos.h"

namespace rpcrt::security {

class KerberosClientCredential {
 public:
  KerberosClientCredential(gss::Credential cred, std::string realm)
      : cred_(std::move(cred)), realm_(std::move(realm)) {}
  gss_cred_id_t get() const { return cred_.get(); }
  // The client's realm, where the service principal is looked up first (as Windows does).
  const std::string& realm() const { return realm_; }

 private:
  gss::Credential cred_;
  std::string realm_;
};

}  // namespace rpcrt::security
