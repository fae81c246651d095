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

// `mapper_port` is where the host's endpoint mapper listens; 0 means its own port, 135.

// The port `iface` is registered on at `host`, asked without authentication and with the
// caller's communication time-out level (0..10) and call time-out. An interface the mapper
// does not know raises EPT_S_NOT_REGISTERED (1753).
uint16_t EptMap(const std::string& host, uint16_t mapper_port, const SyntaxId& iface,
                unsigned com_timeout, uint32_t call_timeout_ms);

struct EndpointEntry {
  SyntaxId interface_id;  // all zero when the tower names no interface
  Uuid object;
  uint16_t port = 0;           // of an ncacn_ip_tcp endpoint, else 0
  std::string string_binding;  // "ncacn_ip_tcp:1.2.3.4[port]", "ncalrpc:[name]", ...
  std::string annotation;
};

// What one lookup may take from a mapper: entries, and octets of reply stubs. A mapper that
// offers more, or more entries in a batch than were asked for, fails the lookup with
// RPC_S_PROTOCOL_ERROR before it can make the client hold more.
inline constexpr uint32_t kLookupBatch = 64;
inline constexpr size_t kMaxLookupEntries = 16384;
inline constexpr size_t kMaxLookupBytes = size_t{8} << 20;

// Every endpoint registered at `host`, whatever its protocol (epm::SummarizeTower), batch by
// batch; authenticated as `auth` says (level none for an anonymous lookup).
std::vector<EndpointEntry> EptLookup(const std::string& host, uint16_t mapper_port,
                                     const AuthInfo& auth);

}  // namespace rpcrt::client
