/* What the C hosts of the DLL share: the four entry points, found by name, the report of each
 * check, and the platform's text for a system error code, which the DLL's error texts must
 * carry. */
#pragma once
#include <stdio.h>
#include <windows.h>

#include "zelqa/zelqa_rpc_client.h"

typedef zelqa_hresult_t(__stdcall* connect_fn)(const wchar_t*, uint32_t, const wchar_t*,
                                               const wchar_t*, const wchar_t*, wchar_t**,
                                               wchar_t**);
typedef zelqa_hresult_t(__stdcall* call_fn)(const wchar_t*, const wchar_t*, const wchar_t*,
                                            wchar_t**, wchar_t**);
typedef zelqa_hresult_t(__stdcall* disconnect_fn)(const wchar_t*, wchar_t**);
typedef void(__stdcall* free_fn)(wchar_t*);

static connect_fn rpc_connect;
static call_fn do_rpc_call;
static disconnect_fn rpc_disconnect;
static free_fn lib_str_free;
static int failures = 0;

/* Whether the DLL has all four entry points by name. */
static int find_entry_points(HMODULE dll) {
  do_rpc_call = (call_fn)(void*)GetProcAddress(dll, "DoRpcCall");
  lib_str_free = (free_fn)(void*)GetProcAddress(dll, "LibStrFree");
  rpc_connect = (connect_fn)(void*)GetProcAddress(dll, "RpcConnect");
  rpc_disconnect = (disconnect_fn)(void*)GetProcAddress(dll, "RpcDisconnect");
  return do_rpc_call && lib_str_free && rpc_connect && rpc_disconnect;
}

/* Reports one check; a failed one with the text it was about, when there is one. */
static inline void check_text(int ok, const char* what, const wchar_t* text) {
  printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (ok) return;
  ++failures;
  if (text != NULL) wprintf(L"  got: %ls\n", text);
}

static inline void check(int ok, const char* what) {
  check_text(ok, what, NULL);
}

/* The text without its line end; empty when the platform has none. */
static void system_text(DWORD code, wchar_t* out, DWORD size) {
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                           0, out, size, NULL);
  while (n > 0 && (out[n - 1] == L'\r' || out[n - 1] == L'\n')) out[--n] = 0;
  if (n == 0) out[0] = 0;
}
