// System message texts: FormatMessageW over a built-in table of the English Windows texts.
//
// Supported: FORMAT_MESSAGE_FROM_SYSTEM (language 1033 or 0x400 / 0),
// FORMAT_MESSAGE_FROM_HMODULE with the handle that GetModuleHandleW(u"wininet.dll") returns
// (other modules have no message table), and FORMAT_MESSAGE_FROM_STRING. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is an LPWSTR* that receives a
// LocalAlloc'ed block released with LocalFree; otherwise the text and its terminator must fit
// in size characters (ERROR_INSUFFICIENT_BUFFER). Inserts (%1..%99, string or 32-bit integer
// types) are expanded from a va_list or, with FORMAT_MESSAGE_ARGUMENT_ARRAY, an array, unless
// FORMAT_MESSAGE_IGNORE_INSERTS leaves them as they stand. Every table text ends in "\r\n"
// as Windows returns it. Returns the length without the terminator.
// A code without a text fails with ERROR_MR_MID_NOT_FOUND
// (0 returned, last error set); any other language with ERROR_RESOURCE_LANG_NOT_FOUND.
// The list of codes is documented in system_text_table.cc.
#pragma once

#include <cstdarg>

#include "platform/win_types.h"

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPWSTR buffer, DWORD size, va_list* arguments);

// Modules: null gives the executable, u"wininet.dll" the (built-in) wininet message module,
// any other name a loaded shared object of that file name (compared without case, e.g.
// u"libc.so.6"); a name that matches nothing fails with ERROR_MOD_NOT_FOUND. A handle is the
// object's load address.
HMODULE GetModuleHandleW(LPCWSTR module_name);

inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_PIN = 0x1;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;

// With FROM_ADDRESS, module_name is an address inside the module: its load address is
// returned (dladdr). Returns FALSE and sets the last error when the address is in no module.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR module_name, HMODULE* module);
