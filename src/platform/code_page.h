// Code page conversions with the contracts of MultiByteToWideChar / WideCharToMultiByte.
//
// The ANSI code page (CP_ACP) is UTF-8 on POSIX. Flags are 0: invalid input is replaced by
// U+FFFD (or "?" where the target cannot hold a character), never an error. A length of -1
// means "up to and including the terminating zero". Errors (ERROR_INVALID_PARAMETER for bad
// arguments or a length above INT_MAX, ERROR_INSUFFICIENT_BUFFER for a too-small output)
// return 0 and set the last error.
#pragma once

#include "platform/win_types.h"

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int multi_byte_len,
                        LPWSTR wide, int wide_len);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_len, LPSTR multi_byte,
                        int multi_byte_len, LPCSTR default_char, BOOL* used_default_char);

namespace platform {

// The next conversion call on this thread fails with the given error code.
void FailNextConversionForTesting(DWORD error_code);

}  // namespace platform
