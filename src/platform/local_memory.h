// The local heap, whose blocks FormatMessageW hands out with FORMAT_MESSAGE_ALLOCATE_BUFFER.
//
// Kept apart from system_text.h: Boost.System declares the system's LocalAlloc and LocalFree
// on Windows, so a file that includes Boost.System must not include this header.
#pragma once

#include "platform/win_types.h"

inline constexpr UINT LMEM_FIXED = 0x0000;
inline constexpr UINT LMEM_ZEROINIT = 0x0040;

// A heap block that LocalFree releases; null with ERROR_NOT_ENOUGH_MEMORY when none is left.
HLOCAL LocalAlloc(UINT flags, size_t bytes);
// Releases a block (null is allowed); returns null, as on success on Windows.
HLOCAL LocalFree(HLOCAL block);
