// New-credentials logon. On POSIX there is no local account database to check against, so,
// like LOGON32_LOGON_NEW_CREDENTIALS on Windows, the logon keeps the credentials for later
// network use without verifying them; the token is an opaque handle to that record.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

inline constexpr DWORD LOGON32_LOGON_NEW_CREDENTIALS = 9;
inline constexpr DWORD LOGON32_PROVIDER_DEFAULT = 0;

// TRUE and *token set on success; FALSE with the last error set otherwise
// (ERROR_INVALID_PARAMETER for a null user or token pointer or another logon type,
// ERROR_NOT_ENOUGH_MEMORY). The optional outputs are not supported and must be null.
BOOL LogonUserExW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logon_type,
                  DWORD logon_provider, HANDLE* token, void** logon_sid, void** profile_buffer,
                  DWORD* profile_length, void* quota_limits);

// Closes a token from LogonUserExW; its copy of the password is wiped. FALSE with
// ERROR_INVALID_HANDLE for anything else.
BOOL CloseTokenHandle(HANDLE token);

// Tokens open now (for leak checks); valid at any time, also after static destructors ran.
size_t OpenTokenHandles();
