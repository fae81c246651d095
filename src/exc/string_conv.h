// Conversions between UTF-16 and the two narrow encodings of the library: the process ANSI
// code page and UTF-8.
//
// Invalid input follows the system's substitution rules (never an error); only a failing
// system call is reported. The throwing forms raise exc::win_sys_exc_t with the code of
// GetLastError(); the _nothrow forms return a fixed fallback text instead. Empty input gives
// empty output without any system call.
#pragma once

#include <string>
#include <string_view>

namespace exc {

// Cut at the first embedded zero (the system sees a zero-terminated text).
std::string wide_to_ansi(std::u16string_view text);
std::string wide_to_ansi_nothrow(std::u16string_view text);  // "UNICODE->ANSI failed"
std::u16string ansi_to_wide(std::string_view text);
std::u16string ansi_to_wide_nothrow(std::string_view text);  // u"ANSI -> UNICODE failed."

// Every unit kept, embedded zeros included.
std::string wide_to_utf8(std::u16string_view text);
std::string wide_to_utf8_nothrow(std::u16string_view text) noexcept;  // empty on failure
std::u16string utf8_to_wide(std::string_view text);
// u"UTF8 -> UTF16 failed. Raw: " and the source bytes in lowercase hex on failure.
std::u16string utf8_to_wide_nothrow(std::string_view text);

// ANSI to UTF-8 through UTF-16; the input unchanged when either step fails.
std::string ansi_to_utf8(std::string_view text);

}  // namespace exc
