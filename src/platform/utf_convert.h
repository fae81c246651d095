// UTF-8 <-> UTF-16 conversion with the system's substitution rules: every ill-formed
// UTF-8 sequence (maximal subpart) and every unpaired surrogate becomes U+FFFD.
//
// The counting forms let callers size an output before writing it; they never fail.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Number of UTF-16 code units that Utf8ToUtf16 produces for the input.
size_t Utf16LengthOf(std::string_view utf8);
// Writes exactly Utf16LengthOf(utf8) units to out.
void Utf8ToUtf16(std::string_view utf8, char16_t* out);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Number of UTF-8 bytes that Utf16ToUtf8 produces for the input.
size_t Utf8LengthOf(std::u16string_view utf16);
// Writes exactly Utf8LengthOf(utf16) bytes to out.
void Utf16ToUtf8(std::u16string_view utf16, char* out);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace platform
