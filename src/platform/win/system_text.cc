#include "platform/system_text.h"

#include "platform/local_memory.h"

#include "platform/win/windows_api.h"

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPWSTR buffer, DWORD size, va_list* arguments) {
  return win32::FormatMessageW(flags, source, message_id, language_id,
                               reinterpret_cast<wchar_t*>(buffer), size, arguments);
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  return win32::LocalAlloc(flags, bytes);
}

HLOCAL LocalFree(HLOCAL block) {
  return win32::LocalFree(block);
}
