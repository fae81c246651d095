// Text forms of network addresses, as the system's own address parser reads them.
#pragma once

#include <string>

namespace platform {

// True when `text` is an IPv6 address literal, optionally with a "%scope" suffix
// (fe80::1%eth0); false for IPv4 addresses, host names and anything else.
bool IsIpv6Literal(const std::string& text);

}  // namespace platform
