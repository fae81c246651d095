// Wiping of secrets that the security packages and the credentials hold.
#include <string.h>

#include "rpcrt/security/security_context.h"

namespace rpcrt::security {

void SecureWipe(void* data, size_t size) noexcept {
  if (data != nullptr && size != 0) explicit_bzero(data, size);
}

namespace {

// Wipes the whole capacity, not only the characters in use: a string that shrank keeps the
// old characters behind its terminator.
void WipeString(std::u16string& s) noexcept {
  s.resize(s.capacity());
  SecureWipe(s.data(), s.size() * sizeof(char16_t));
  s.clear();
}

}  // namespace

Identity::~Identity() {
  WipeString(user);
  WipeString(domain);
  WipeString(password);
}

}  // namespace rpcrt::security
