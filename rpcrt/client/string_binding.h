// String bindings: "[object-uuid@]protseq:network-address[endpoint,option=value,...]".
//
// Parsing follows the Windows run time: a backslash escapes the next character, an empty
// network address means the local machine, and each malformed part has its own status
// (1700 for the syntax, 1703 for a protocol sequence we do not speak, 1705 for the object
// UUID, 1706 for an endpoint that is not a TCP port).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rpcrt::client {

inline constexpr std::string_view kProtseqTcp = "ncacn_ip_tcp";

struct StringBinding {
  std::string object_uuid;  // empty: none
  std::string protseq;
  std::string network_address;
  std::string endpoint;  // empty: resolved later through the endpoint mapper
  std::vector<std::pair<std::string, std::string>> options;

  // The text form; special characters inside the parts are escaped with a backslash.
  std::string Compose() const;

  // Parses and validates the text form; throws RpcError with the Windows status.
  static StringBinding Parse(std::string_view text);
};

// The TCP port an ncacn_ip_tcp endpoint names: decimal digits, 1 to 65535, optionally
// surrounded by blanks. nullopt otherwise.
std::optional<uint16_t> ParseTcpEndpoint(std::string_view endpoint);

}  // namespace rpcrt::client
