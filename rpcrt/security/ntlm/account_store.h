// NTLM accounts from a text file of `DOMAIN:user:password` lines, the format gss-ntlmssp
// reads from NTLM_USER_FILE. The password is everything after the second colon; empty lines
// and lines starting with '#' are skipped.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rpcrt/security/security_context.h"

namespace rpcrt::security::ntlm {

class AccountStore {
 public:
  // Throws RpcError(kSecPkgError) if the file cannot be read or a line is malformed; the
  // message names the file and line, never the line's content.
  static AccountStore Load(const std::string& path);
  static AccountStore Parse(const std::string& text, const std::string& origin);

  // The account for a user (case-insensitive). An empty domain on either side matches any
  // domain; otherwise domains compare case-insensitively.
  const Identity* Find(std::u16string_view user, std::u16string_view domain) const;

  const std::vector<Identity>& accounts() const { return accounts_; }

 private:
  std::vector<Identity> accounts_;
};

// The current user's credentials on POSIX: the first entry of the file named by
// NTLM_USER_FILE. Throws RpcError(kSecPkgError) when it is unset, unreadable or empty.
Identity CurrentUserIdentity();

}  // namespace rpcrt::security::ntlm
