#include "platform/logon.h"

#include <string.h>

#include <new>
#include <string>
#include <unordered_set>

#include "platform/last_error.h"
#include "rpcrt/base/mutex.h"

namespace {

struct LogonToken {
  std::u16string user;
  std::u16string domain;
  std::u16string password;
  ~LogonToken() { explicit_bzero(password.data(), password.size() * sizeof(char16_t)); }
};

// Live tokens, so that a stale or foreign handle is refused instead of freed. Never destroyed:
// tokens are closed by objects that are themselves destroyed at exit (a host's, or the
// library's own connection registry), in whatever order their statics go.
struct TokenTable {
  rpcrt::base::Mutex mutex;
  std::unordered_set<LogonToken*> tokens GUARDED_BY(mutex);
};
TokenTable& Tokens() {
  static TokenTable* table = new TokenTable;
  return *table;
}

std::u16string Copy(LPCWSTR text) {
  return text ? std::u16string(text) : std::u16string();
}

}  // namespace

BOOL LogonUserExW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logon_type,
                  DWORD logon_provider, HANDLE* token, void** logon_sid, void** profile_buffer,
                  DWORD* profile_length, void* quota_limits) {
  if (user == nullptr || token == nullptr || logon_type != LOGON32_LOGON_NEW_CREDENTIALS ||
      logon_provider != LOGON32_PROVIDER_DEFAULT || logon_sid || profile_buffer || profile_length ||
      quota_limits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  try {
    auto* t = new LogonToken{Copy(user), Copy(domain), Copy(password)};
    TokenTable& table = Tokens();
    rpcrt::base::MutexLock lock(table.mutex);
    table.tokens.insert(t);
    *token = t;
    return TRUE;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

BOOL CloseTokenHandle(HANDLE token) {
  auto* t = static_cast<LogonToken*>(token);
  {
    TokenTable& table = Tokens();
    rpcrt::base::MutexLock lock(table.mutex);
    if (table.tokens.erase(t) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete t;
  return TRUE;
}

size_t OpenTokenHandles() {
  TokenTable& table = Tokens();
  rpcrt::base::MutexLock lock(table.mutex);
  return table.tokens.size();
}
