// The NTLM accounts a server verifies against, from an account file (ntlm/account_file.h).
#pragma once

#include <string>
#include <string_view>
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

}  // namespace rpcrt::security::ntlm
