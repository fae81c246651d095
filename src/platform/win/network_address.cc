#include "platform/network_address.h"

#include "platform/win/windows_api.h"

namespace platform {

bool IsIpv6Literal(const std::string& text) {
  // The scope (an interface name or number) is not checked: a host name never has a "%".
  const std::string address = text.substr(0, text.find('%'));
  win32::IN6_ADDR parsed{};
  return win32::inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

}  // namespace platform
