// The strings that the exports hand back: blocks of (length + 1) * 2 bytes from the
// library's own heap, released by the caller with LibStrFree.
#pragma once

#include <exception>
#include <string>

namespace api {

// A copy of text with its terminator, or null when the heap is exhausted.
char16_t* AllocLibStr(const std::u16string& text) noexcept;

// The error text of a caught exception: its what() converted from the ANSI code page,
// "ANSI -> UNICODE failed." when that fails. Null when not even that can be allocated.
char16_t* AllocErrorText(const std::exception& e) noexcept;

}  // namespace api
