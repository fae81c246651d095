// The names this host goes by in NTLM: NetBIOS-style (upper case, at most 15 characters) and
// DNS, derived from the host name.
#pragma once

#include <string>

namespace rpcrt::security::ntlm {

struct HostNames {
  std::u16string netbios_computer;
  std::u16string netbios_domain;  // a stand-alone server is its own domain
  std::u16string dns_computer;
  std::u16string dns_domain;
};

HostNames LocalHostNames();

}  // namespace rpcrt::security::ntlm
