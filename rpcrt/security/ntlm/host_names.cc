#include "rpcrt/security/ntlm/host_names.h"

#include <unistd.h>

#include "rpcrt/security/ntlm/text.h"

namespace rpcrt::security::ntlm {

HostNames LocalHostNames() {
  char buf[256] = {};
  std::string host = "localhost";
  if (gethostname(buf, sizeof buf - 1) == 0 && buf[0] != '\0') host = buf;
  const size_t dot = host.find('.');
  std::string first = host.substr(0, dot);
  if (first.size() > 15) first.resize(15);

  HostNames names;
  names.netbios_computer = ToUpper(Utf8ToUtf16(first));
  names.netbios_domain = names.netbios_computer;
  names.dns_computer = Utf8ToUtf16(host);
  names.dns_domain =
      dot == std::string::npos ? names.dns_computer : Utf8ToUtf16(host.substr(dot + 1));
  return names;
}

}  // namespace rpcrt::security::ntlm
