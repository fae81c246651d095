// The command line of zelqa-rpc-server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelqa::server {

struct ListenAddress {
  std::string address;  // IPv4 or IPv6 literal or host name, without brackets
  uint16_t port = 0;
};

struct ServerArgs {
  std::vector<ListenAddress> listen;
  std::string accounts;
  std::string keytab;
  std::string principal;
  std::optional<uint16_t> epm_port = 135;  // nullopt: no endpoint mapper
  size_t max_connections = 64;             // per listening address
  // Connection deadlines (see the usage text for why these defaults).
  uint32_t bind_timeout_ms = 10000;   // from accept to an authenticated (or anonymous) bind
  uint32_t pdu_timeout_ms = 10000;    // from a fragment's first byte to its last
  uint32_t idle_timeout_ms = 300000;  // between calls
  std::vector<std::string> exec;      // empty: answer with request1 + request2
  uint32_t exec_timeout_ms = 30000;
  size_t exec_max_output = size_t{1} << 20;
  bool help = false;
};

// Parses argv; throws std::invalid_argument with a message for the user on bad input.
ServerArgs ParseServerArgs(const std::vector<std::string>& args);

// "ADDRESS:PORT" or "[IPV6]:PORT".
ListenAddress ParseListenAddress(const std::string& text);

extern const char kServerUsage[];

}  // namespace zelqa::server
