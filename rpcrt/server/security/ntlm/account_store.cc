#include "rpcrt/server/security/ntlm/account_store.h"

#include "rpcrt/security/ntlm/account_file.h"
#include "rpcrt/security/ntlm/text.h"

namespace rpcrt::security::ntlm {

AccountStore AccountStore::Load(const std::string& path) {
  AccountStore store;
  store.accounts_ = ReadAccountFile(path);
  return store;
}

AccountStore AccountStore::Parse(const std::string& text, const std::string& origin) {
  AccountStore store;
  store.accounts_ = ParseAccountFile(text, origin);
  return store;
}

const Identity* AccountStore::Find(std::u16string_view user, std::u16string_view domain) const {
  for (const auto& a : accounts_) {
    if (!EqualNoCase(a.user, user)) continue;
    if (a.domain.empty() || domain.empty() || EqualNoCase(a.domain, domain)) return &a;
  }
  return nullptr;
}

}  // namespace rpcrt::security::ntlm
