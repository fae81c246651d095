#include "platform/logon.h"

#include "platform/win/windows_api.h"

BOOL LogonUserExW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logon_type,
                  DWORD logon_provider, HANDLE* token, void** logon_sid, void** profile_buffer,
                  DWORD* profile_length, void* quota_limits) {
  const auto* wide_user = reinterpret_cast<const wchar_t*>(user);
  const auto* wide_domain = reinterpret_cast<const wchar_t*>(domain);
  const auto* wide_password = reinterpret_cast<const wchar_t*>(password);
  // Without the optional outputs this is LogonUserW, which every Windows and Wine has (Wine
  // has no LogonUserExW).
  if (logon_sid == nullptr && profile_buffer == nullptr && profile_length == nullptr &&
      quota_limits == nullptr) {
    return win32::LogonUserW(wide_user, wide_domain, wide_password, logon_type, logon_provider,
                             token);
  }
  win32::DWORD length = 0;
  const win32::BOOL ok =
      win32::LogonUserExW(wide_user, wide_domain, wide_password, logon_type, logon_provider, token,
                          reinterpret_cast<win32::PSID*>(logon_sid), profile_buffer,
                          profile_length != nullptr ? &length : nullptr,
                          static_cast<win32::PQUOTA_LIMITS>(quota_limits));
  if (profile_length != nullptr) *profile_length = length;
  return ok;
}

BOOL CloseTokenHandle(HANDLE token) {
  return win32::CloseHandle(token);
}
