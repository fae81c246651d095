// UTF-16 to UTF-8 for names and passwords handed to GSS-API.
#pragma once

#include <string>

namespace rpcrt::security {

// Converts strictly: an unpaired surrogate throws rpcrt::RpcError(kInvalidAuthIdentity),
// because a password that silently changed would only fail later and more obscurely. The
// message never contains the text.
std::string ToUtf8(const std::u16string& text);

// A UTF-8 copy of a secret that is wiped when it goes.
class SecretUtf8 {
 public:
  explicit SecretUtf8(const std::u16string& text) : text_(ToUtf8(text)) {}
  ~SecretUtf8();
  SecretUtf8(const SecretUtf8&) = delete;
  SecretUtf8& operator=(const SecretUtf8&) = delete;
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

}  // namespace rpcrt::security
