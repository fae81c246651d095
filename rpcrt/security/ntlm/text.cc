#include "rpcrt/security/ntlm/text.h"

#include "rpcrt/security/ntlm/byte_io.h"

namespace rpcrt::security::ntlm {

char16_t ToUpper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs capital/small on even/odd code points, except the ranges where the
  // small letter is on the even one.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return (c & 1) ? static_cast<char16_t>(c - 1) : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? c : static_cast<char16_t>(c - 1);
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string ToUpper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = ToUpper(c);
  return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToUpper(a[i]) != ToUpper(b[i])) return false;
  }
  return true;
}

std::vector<uint8_t> ToWire(std::u16string_view s) {
  std::vector<uint8_t> out;
  AppendUtf16Le(out, s);
  return out;
}

std::u16string FromWire(std::span<const uint8_t> bytes, const char* what) {
  if (bytes.size() % 2 != 0) ThrowBadToken(std::string(what) + " has an odd length");
  return Utf16FromLe(bytes);
}

}  // namespace rpcrt::security::ntlm
