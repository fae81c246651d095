#include "rpcrt/security/utf8.h"

#include "rpcrt/security/security_context.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

std::string ToUtf8(const std::u16string& text) {
  // Validate before converting, so that no partial copy of a secret is left behind.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xd800 && text[i] <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
        text[i + 1] <= 0xdfff) {
      ++i;
    } else if (text[i] >= 0xd800 && text[i] <= 0xdfff) {
      throw RpcError(kInvalidAuthIdentity, "credential text is not valid UTF-16");
    }
  }
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
        text[i + 1] <= 0xdfff) {
      c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
  }
  return out;
}

SecretUtf8::~SecretUtf8() {
  text_.resize(text_.capacity());
  SecureWipe(text_.data(), text_.size());
}

}  // namespace rpcrt::security
