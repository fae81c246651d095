// The English text of a Win32 error code, for the first line of exc::win_sys_exc_t.
#pragma once

#include <cstdint>
#include <string>

namespace exc {

// Looks in order at the library's own table of fixed texts, the system's message table
// (English), the "wininet.dll" message table for codes 12000..12175 and the Boost system
// category; a final "\r\n" is removed once. Gives a text for every code.
std::string get_error_text(uint32_t code);

// The library's fixed text for a code whose system message needs inserts, or null.
const char* find_known_error_text(uint32_t code);

}  // namespace exc
