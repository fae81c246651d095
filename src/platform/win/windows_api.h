// The Windows SDK, declared inside namespace win32.
//
// The platform interface declares the Windows functions with its own portable types (WCHAR is
// char16_t, DWORD uint32_t), so the SDK's declarations of the same names cannot share a scope
// with it. Inside win32 they refer to the same system functions, and each implementation here
// defines the interface's function by calling its win32:: namesake.
//
// Include this header last, after every other header: the SDK's macros (ERROR_SUCCESS, TRUE,
// FormatMessage, ...) would otherwise rewrite the declarations that follow it.
#pragma once

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// The SDK's headers must come in this order (winsock2 before windows, windows before the rest).
namespace win32 {
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <rpc.h>
#include <rpcndr.h>
// clang-format on
}  // namespace win32
