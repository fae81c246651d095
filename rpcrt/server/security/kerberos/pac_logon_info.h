// The names a Windows server gives a Kerberos caller: the logon domain and account that the
// ticket's PAC logon information carries (an NDR-serialised KERB_VALIDATION_INFO).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace rpcrt::security {

struct PacLogonNames {
  std::string domain;   // the NetBIOS logon domain, e.g. "ZAD"
  std::string account;  // the account name, e.g. "alice"
};

// Reads the names from a PAC logon-information buffer; nullopt when the buffer is malformed,
// truncated or lacks either name.
std::optional<PacLogonNames> ParsePacLogonNames(std::span<const uint8_t> buffer);

}  // namespace rpcrt::security
