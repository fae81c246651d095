#include "rpcrt/security/utf8.h"

#include "rpcrt/ndr/utf16.h"
#include "rpcrt/security/security_context.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

std::string ToUtf8(const std::u16string& text) {
  // Validate before converting, so that no partial copy of a secret is left behind.
  if (!IsWellFormedUtf16(text))
    throw RpcError(kInvalidAuthIdentity, "credential text is not valid UTF-16");
  return Utf16ToUtf8(text);
}

SecretUtf8::~SecretUtf8() {
  text_.resize(text_.capacity());
  SecureWipe(text_.data(), text_.size());
}

}  // namespace rpcrt::security
