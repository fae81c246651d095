// UTF-16 text: conversion to and from UTF-8 with the system's substitution rules, and the
// little-endian byte form that NTLM, the PAC and registry data carry it in.
//
// Every ill-formed UTF-8 sequence (maximal subpart) and every unpaired surrogate becomes
// U+FFFD. The counting forms let callers size an output before writing it; none of the
// conversions fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rpcrt {

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

// Whether the text has no unpaired surrogate, so that converting it changes nothing.
bool IsWellFormedUtf16(std::u16string_view utf16);

// Code units from little-endian bytes; an odd last byte is dropped.
std::u16string Utf16FromLe(std::span<const uint8_t> bytes);
void AppendUtf16Le(std::vector<uint8_t>& out, std::u16string_view text);

}  // namespace rpcrt
