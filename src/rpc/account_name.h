// Splitting an account name into user and domain, as the logon of a connection does.
#pragma once

#include <string>

namespace rpc {

struct account_name_t {
  std::u16string user;
  std::u16string domain;
};

// "DOMAIN\user" (split at the first backslash), else "user@domain" (at the first at sign),
// else "user" with domain ".". A domain that is an IPv6 address becomes its IPv6 literal
// name ("fe80::1%4" -> "fe80--1s4.ipv6-literal.net"). Raises the conversion's
// exc::win_sys_exc_t when the domain cannot be converted for the address check.
account_name_t split_account_name(const std::u16string& account);

}  // namespace rpc
