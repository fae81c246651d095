#include "platform/registry.h"

#include "platform/win/windows_api.h"

namespace {

win32::HKEY Native(HKEY key) {
  return reinterpret_cast<win32::HKEY>(key);
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM sam, PHKEY result) {
  return win32::RegOpenKeyExA(Native(key), sub_key, options, sam,
                              reinterpret_cast<win32::PHKEY>(result));
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM sam, PHKEY result) {
  return win32::RegOpenKeyExW(Native(key), reinterpret_cast<const wchar_t*>(sub_key), options, sam,
                              reinterpret_cast<win32::PHKEY>(result));
}

// The query functions take DWORD pointers; the interface's DWORD is 32 bits wide like the
// system's, which is what makes these casts sound.
static_assert(sizeof(DWORD) == sizeof(win32::DWORD));

LSTATUS RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size) {
  return win32::RegQueryValueExA(
      Native(key), value_name, reinterpret_cast<win32::LPDWORD>(reserved),
      reinterpret_cast<win32::LPDWORD>(type), data, reinterpret_cast<win32::LPDWORD>(data_size));
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size) {
  return win32::RegQueryValueExW(Native(key), reinterpret_cast<const wchar_t*>(value_name),
                                 reinterpret_cast<win32::LPDWORD>(reserved),
                                 reinterpret_cast<win32::LPDWORD>(type), data,
                                 reinterpret_cast<win32::LPDWORD>(data_size));
}

LSTATUS RegCloseKey(HKEY key) {
  return win32::RegCloseKey(Native(key));
}

namespace platform {

// The system registry is always current: there is no file behind it to read again.
void ReloadRegistryForTesting(const std::string&) {}

std::vector<std::string> RegistryDiagnostics() {
  return {};
}

}  // namespace platform
