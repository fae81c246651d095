/* Sealed calls through the x86_64 DLL on the system's RPC run time (under Wine) to the Linux
 * reference server, with explicit NTLM credentials: the exact answer by port and through the
 * server's endpoint mapper (port 0), and a wrong password with the platform's text for
 * ERROR_ACCESS_DENIED. Usage: e2e_host ADDRESS PORT (the server serves ZELQA\alice:secret). */
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#include "host_exports.h"

static connect_fn rpc_connect;
static call_fn do_rpc_call;
static disconnect_fn rpc_disconnect;
static free_fn lib_str_free;
static wchar_t host[64];
static int failures = 0;

/* Connects with the password and calls DoRpc("abc", "def"); returns the answer or the error
 * text (to be released with LibStrFree) and whether the call succeeded. */
static wchar_t* call(uint32_t port, const wchar_t* password, int* succeeded) {
  wchar_t *id = NULL, *answer = NULL, *error = NULL;
  *succeeded = 0;
  if (rpc_connect(host, port, L"ZELQA\\alice", password, L"zelqa", &id, &error) != ZELQA_S_OK) {
    return error;
  }
  *succeeded = do_rpc_call(id, L"abc", L"def", &answer, &error) == ZELQA_S_OK;
  rpc_disconnect(id, &error);
  lib_str_free(id);
  return *succeeded ? answer : error;
}

static void check(int ok, const char* what, const wchar_t* text) {
  printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) {
    ++failures;
    if (text != NULL) wprintf(L"  got: %ls\n", text);
  }
}

int main(int argc, char** argv) {
  HMODULE dll;
  wchar_t* text;
  wchar_t denied[256];
  int succeeded;

  if (argc != 3) return 2;
  swprintf(host, 64, L"%hs", argv[1]);
  dll = LoadLibraryW(L"ZelqaRpcClientDll.dll");
  if (dll == NULL) return 1;
  do_rpc_call = (call_fn)(void*)GetProcAddress(dll, "DoRpcCall");
  lib_str_free = (free_fn)(void*)GetProcAddress(dll, "LibStrFree");
  rpc_connect = (connect_fn)(void*)GetProcAddress(dll, "RpcConnect");
  rpc_disconnect = (disconnect_fn)(void*)GetProcAddress(dll, "RpcDisconnect");

  text = call((uint32_t)atoi(argv[2]), L"secret", &succeeded);
  check(succeeded && text != NULL && wcscmp(text, L"abcdef") == 0, "answer by port", text);
  lib_str_free(text);

  text = call(0, L"secret", &succeeded);
  check(succeeded && text != NULL && wcscmp(text, L"abcdef") == 0,
        "answer through the endpoint mapper", text);
  lib_str_free(text);

  system_text(ERROR_ACCESS_DENIED, denied, 256);
  text = call((uint32_t)atoi(argv[2]), L"wrong", &succeeded);
  check(!succeeded && denied[0] != 0 && text != NULL && wcsstr(text, denied) == text,
        "wrong password: the platform's text for access denied", text);
  lib_str_free(text);

  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
