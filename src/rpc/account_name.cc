#include "rpc/account_name.h"

#include "exc/string_conv.h"
#include "platform/network_address.h"

namespace rpc {
namespace {

// The reserved domain under which Windows writes an IPv6 address as a host name.
constexpr char16_t kIpv6LiteralSuffix[] = u".ipv6-literal.net";

std::u16string ipv6_literal_name(std::u16string domain) {
  for (char16_t& c : domain) {
    if (c == u':') c = u'-';
  }
  for (char16_t& c : domain) {
    if (c == u'%') c = u's';
  }
  domain.append(kIpv6LiteralSuffix);
  return domain;
}

}  // namespace

account_name_t split_account_name(const std::u16string& account) {
  account_name_t result;
  if (const auto slash = account.find(u'\\'); slash != std::u16string::npos) {
    result.domain = account.substr(0, slash);
    result.user = account.substr(slash + 1);
  } else if (const auto at = account.find(u'@'); at != std::u16string::npos) {
    result.user = account.substr(0, at);
    result.domain = account.substr(at + 1);
  } else {
    result.user = account;
    result.domain.assign(1, u'.');
  }
  // An IPv4 address and any text that is no address stay as they are.
  if (platform::IsIpv6Literal(exc::wide_to_utf8(result.domain))) {
    result.domain = ipv6_literal_name(std::move(result.domain));
  }
  return result;
}

}  // namespace rpc
