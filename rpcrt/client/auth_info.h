// How a binding authenticates: the service, the level and the credentials.
#pragma once

#include <string>

#include "rpcrt/security/security_context.h"

namespace rpcrt::client {

struct AuthInfo {
  security::AuthnService service = security::AuthnService::kNone;
  security::AuthnLevel level = security::AuthnLevel::kNone;
  std::u16string principal;  // "service/host"
  security::ClientCredentials credentials;

  // Level none (or no service) sends no security trailer at all.
  bool enabled() const {
    return service != security::AuthnService::kNone && level != security::AuthnLevel::kNone &&
           level != security::AuthnLevel::kDefault;
  }
  // The per-PDU level actually used: the connection-oriented protocol protects whole packets
  // or nothing, so call and packet levels become packet integrity.
  security::AuthnLevel EffectiveLevel() const {
    if (level == security::AuthnLevel::kCall || level == security::AuthnLevel::kPkt)
      return security::AuthnLevel::kPktIntegrity;
    return level;
  }
};

}  // namespace rpcrt::client
