#include "platform/last_error.h"

#include "platform/win/windows_api.h"

DWORD GetLastError() {
  return win32::GetLastError();
}

void SetLastError(DWORD code) {
  win32::SetLastError(code);
}
