// The endpoint mapper client: which TCP port serves an interface on a host (ept_map), and
// every endpoint a host has registered (ept_lookup).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rpcrt/client/auth_info.h"
#include "rpcrt/ndr/uuid.h"
#include "rpcrt/pdu/syntax.h"

namespace rpcrt::client {

// The port of the endpoint mapper, 135 unless set otherwise for the process.
void SetEndpointMapperPort(uint16_t port);
uint16_t EndpointMapperPort();

// The port `iface` is registered on at `host`, asked without authentication and with the
// caller's communication time-out level (0..10) and call time-out. An interface the mapper
// does not know raises EPT_S_NOT_REGISTERED (1753).
uint16_t EptMap(const std::string& host, const SyntaxId& iface, unsigned com_timeout,
                uint32_t call_timeout_ms);

struct EndpointEntry {
  SyntaxId interface_id;
  Uuid object;
  uint16_t port = 0;
  std::string string_binding;  // "ncacn_ip_tcp:1.2.3.4[port]"
  std::string annotation;
};

// Every ncacn_ip_tcp endpoint registered at `host`, batch by batch; authenticated as `auth`
// says (level none for an anonymous lookup).
std::vector<EndpointEntry> EptLookup(const std::string& host, const AuthInfo& auth);

}  // namespace rpcrt::client
