#include "platform/code_page.h"

#include "platform/fault_injection.h"
#include "platform/win/windows_api.h"

namespace {

// True (and the last error set) when this call must fail.
bool InjectedFailure() {
  const DWORD error = platform::TakeInjectedConversionFailure();
  if (error == 0) return false;
  win32::SetLastError(error);
  return true;
}

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int multi_byte_len,
                        LPWSTR wide, int wide_len) {
  if (InjectedFailure()) return 0;
  return win32::MultiByteToWideChar(code_page, flags, multi_byte, multi_byte_len,
                                    reinterpret_cast<wchar_t*>(wide), wide_len);
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_len, LPSTR multi_byte,
                        int multi_byte_len, LPCSTR default_char, BOOL* used_default_char) {
  if (InjectedFailure()) return 0;
  win32::BOOL used = FALSE;
  const int result = win32::WideCharToMultiByte(
      code_page, flags, reinterpret_cast<const wchar_t*>(wide), wide_len, multi_byte,
      multi_byte_len, default_char, used_default_char != nullptr ? &used : nullptr);
  if (used_default_char != nullptr) *used_default_char = used;
  return result;
}
