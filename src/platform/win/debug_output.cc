#include "platform/debug_output.h"

#include "platform/win/windows_api.h"

void OutputDebugStringA(LPCSTR text) {
  win32::OutputDebugStringA(text);
}
