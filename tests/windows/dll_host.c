/* A plain C host of the DLL, as a Windows program uses it: loads it with LoadLibraryW, finds
 * the four entry points by name and by ordinal, and makes calls whose outcome needs no
 * server: an unknown connection, and a call to a port where nothing listens (the server
 * unavailable path, retried as the registry says). Expected system texts come from
 * FormatMessageW of the platform the host runs on.
 * Usage: dll_host ADDRESS PORT (a loopback address and a port nothing listens on). */
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#include "host_exports.h"

static int failures = 0;

static void check(int ok, const char* what) {
  printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

/* Few and short retries, so that the unavailable server fails within seconds. */
static void set_retries(void) {
  HKEY key;
  DWORD count = 2, interval = 200;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelqa\\Zelqa Harbrix", 0, NULL, 0,
                      KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, L"RpcRetryCount", 0, REG_DWORD, (const BYTE*)&count, sizeof count);
  RegSetValueExW(key, L"RpcRetryIntervalMs", 0, REG_DWORD, (const BYTE*)&interval, sizeof interval);
  RegCloseKey(key);
}

int main(int argc, char** argv) {
  wchar_t host[64], expected[512];
  HMODULE dll;
  static const char* names[] = {"DoRpcCall", "LibStrFree", "RpcConnect", "RpcDisconnect"};
  FARPROC by_name[4];
  connect_fn rpc_connect;
  call_fn do_rpc_call;
  disconnect_fn rpc_disconnect;
  free_fn lib_str_free;
  wchar_t *id = NULL, *answer = NULL, *error = NULL;
  int i;

  if (argc != 3) {
    fprintf(stderr, "usage: dll_host ADDRESS PORT\n");
    return 2;
  }
  swprintf(host, 64, L"%hs", argv[1]);
  set_retries();

  dll = LoadLibraryW(L"ZelqaRpcClientDll.dll");
  check(dll != NULL, "LoadLibraryW(ZelqaRpcClientDll.dll)");
  if (dll == NULL) return 1;
  for (i = 0; i < 4; ++i) {
    by_name[i] = GetProcAddress(dll, names[i]);
    check(by_name[i] != NULL, names[i]);
    check(GetProcAddress(dll, MAKEINTRESOURCEA(i + 1)) == by_name[i], "same entry by ordinal");
  }
  check(GetProcAddress(dll, MAKEINTRESOURCEA(5)) == NULL, "no fifth ordinal");
  if (failures) return 1;
  do_rpc_call = (call_fn)(void*)by_name[0];
  lib_str_free = (free_fn)(void*)by_name[1];
  rpc_connect = (connect_fn)(void*)by_name[2];
  rpc_disconnect = (disconnect_fn)(void*)by_name[3];

  lib_str_free(NULL);
  check(do_rpc_call(L"{00000000-0000-0000-0000-000000000000}", L"a", L"b", &answer, &error) ==
                ZELQA_E_FAIL &&
            answer == NULL && error != NULL && wcsstr(error, L"No such connection") != NULL,
        "unknown connection: E_FAIL and its text");
  lib_str_free(error);
  error = NULL;
  check(rpc_disconnect(L"{00000000-0000-0000-0000-000000000000}", &error) == ZELQA_S_OK &&
            error == NULL,
        "disconnecting an unknown connection succeeds");

  check(rpc_connect(host, (uint32_t)atoi(argv[2]), L"ZELQA\\alice", L"secret", L"zelqa", &id,
                    &error) == ZELQA_S_OK &&
            id != NULL && wcslen(id) == 38,
        "connect with explicit credentials gives a 38-character identifier");
  if (id == NULL) return 1;
  system_text(RPC_S_SERVER_UNAVAILABLE, expected, 512);
  check(expected[0] != 0, "the platform has a text for 1722");
  check(do_rpc_call(id, L"one", L"two", &answer, &error) == ZELQA_E_FAIL && answer == NULL &&
            error != NULL && wcsstr(error, expected) != NULL,
        "a call to a stopped server fails with the platform's text for 1722");
  if (error != NULL) wprintf(L"  error text: %ls\n", error);
  lib_str_free(error);
  error = NULL;
  check(rpc_disconnect(id, &error) == ZELQA_S_OK, "disconnect");
  lib_str_free(id);

  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
