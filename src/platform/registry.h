// The registry store: a read-only registry backed by a ".reg" text file in the format that
// the Windows registry editor exports (UTF-16LE with a byte-order mark, or UTF-8).
//
// The file is named by ZELQA_REGISTRY_FILE (default /etc/zelqa/registry.reg); a missing file
// is an empty registry. Key names compare without regard to case; the 32-bit and 64-bit
// views are the same store. Status codes are those Windows returns (ERROR_FILE_NOT_FOUND
// for a missing key or value, ERROR_MORE_DATA for a too-small buffer, ...).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM sam, PHKEY result);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM sam, PHKEY result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size);
LSTATUS RegCloseKey(HKEY key);

// On Windows the store is the system registry and the library loads nothing: the two functions
// below belong there to the test programs, which import the file under a key that stands in for
// HKEY_LOCAL_MACHINE.
namespace platform {

// Re-reads the store from the given file (empty path: the environment / default path).
// Keys opened before stay valid and keep the contents they were opened with.
void ReloadRegistryForTesting(const std::string& path = {});

// Why lines of the file behind the store were skipped ("<path>: line N: ..."), or why the
// file could not be read at all; empty for a clean or missing file. Also written as debugger
// output when the store is loaded.
std::vector<std::string> RegistryDiagnostics();

}  // namespace platform
