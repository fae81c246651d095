/* What the C hosts of the DLL share: the four entry points' types, and the platform's text for
 * a system error code, which the DLL's error texts must carry. */
#pragma once
#include <windows.h>

#include "zelqa/zelqa_rpc_client.h"

typedef zelqa_hresult_t(__stdcall* connect_fn)(const wchar_t*, uint32_t, const wchar_t*,
                                               const wchar_t*, const wchar_t*, wchar_t**,
                                               wchar_t**);
typedef zelqa_hresult_t(__stdcall* call_fn)(const wchar_t*, const wchar_t*, const wchar_t*,
                                            wchar_t**, wchar_t**);
typedef zelqa_hresult_t(__stdcall* disconnect_fn)(const wchar_t*, wchar_t**);
typedef void(__stdcall* free_fn)(wchar_t*);

/* The text without its line end; empty when the platform has none. */
static void system_text(DWORD code, wchar_t* out, DWORD size) {
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                           0, out, size, NULL);
  while (n > 0 && (out[n - 1] == L'\r' || out[n - 1] == L'\n')) out[--n] = 0;
  if (n == 0) out[0] = 0;
}
