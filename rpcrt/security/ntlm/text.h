// Text as NTLM carries it: UTF-16LE on the wire, upper-cased for the password hash, compared
// without regard to case for account names.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rpcrt/ndr/utf16.h"

namespace rpcrt::security::ntlm {

// Upper case of the Latin, Greek and Cyrillic letters; other code units stay as they are.
char16_t ToUpper(char16_t c);
std::u16string ToUpper(std::u16string_view s);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

std::vector<uint8_t> ToWire(std::u16string_view s);
// Odd lengths are malformed (RpcError kSecPkgError naming `what`).
std::u16string FromWire(std::span<const uint8_t> bytes, const char* what);

}  // namespace rpcrt::security::ntlm
