/* Sealed calls through the x86_64 DLL on the system's RPC run time (under Wine) to the Linux
 * reference server, with explicit NTLM credentials: the exact answer by port and through the
 * server's endpoint mapper (port 0), and a wrong password with the platform's text for
 * ERROR_ACCESS_DENIED. Usage: e2e_host ADDRESS PORT (the server serves ZELQA\alice:secret). */
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#include "host_exports.h"

static wchar_t host[64];

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

int main(int argc, char** argv) {
  HMODULE dll;
  wchar_t* text;
  wchar_t denied[256];
  int succeeded;

  if (argc != 3) return 2;
  swprintf(host, 64, L"%hs", argv[1]);
  dll = LoadLibraryW(L"ZelqaRpcClientDll.dll");
  if (dll == NULL || !find_entry_points(dll)) return 1;

  text = call((uint32_t)atoi(argv[2]), L"secret", &succeeded);
  check_text(succeeded && text != NULL && wcscmp(text, L"abcdef") == 0, "answer by port", text);
  lib_str_free(text);

  text = call(0, L"secret", &succeeded);
  check_text(succeeded && text != NULL && wcscmp(text, L"abcdef") == 0,
             "answer through the endpoint mapper", text);
  lib_str_free(text);

  system_text(ERROR_ACCESS_DENIED, denied, 256);
  text = call((uint32_t)atoi(argv[2]), L"wrong", &succeeded);
  check_text(!succeeded && denied[0] != 0 && text != NULL && wcsstr(text, denied) == text,
             "wrong password: the platform's text for access denied", text);
  lib_str_free(text);

  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
