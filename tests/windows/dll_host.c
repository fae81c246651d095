/* A plain C host of the DLL, as a Windows program uses it: loads it with LoadLibraryW, finds
 * the four entry points by name and by ordinal, and makes calls whose outcome needs no
 * server: an unknown connection, and a call to a port where nothing listens (the server
 * unavailable path, retried as the registry says). Expected system texts come from
 * FormatMessageW of the platform the host runs on; the retry loop's records are read back
 * from the log file the registry names.
 * Usage: dll_host ADDRESS PORT (a loopback address and a port nothing listens on). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "host_exports.h"

/* Where the library writes its log records, in the temporary folder. */
static wchar_t log_path[MAX_PATH];

/* Few and short retries, so that the unavailable server fails within seconds, and a log file
 * of the library's records. */
static void set_options(void) {
  HKEY key;
  DWORD count = 2, interval = 200;
  DWORD n = GetTempPathW(MAX_PATH - 32, log_path);
  wcscpy(log_path + n, L"zelqa-dll-host.log");
  DeleteFileW(log_path);
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelqa\\Zelqa Harbrix", 0, NULL, 0,
                      KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, L"RpcRetryCount", 0, REG_DWORD, (const BYTE*)&count, sizeof count);
  RegSetValueExW(key, L"RpcRetryIntervalMs", 0, REG_DWORD, (const BYTE*)&interval, sizeof interval);
  RegSetValueExW(key, L"LogFile", 0, REG_SZ, (const BYTE*)log_path,
                 (DWORD)((wcslen(log_path) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

/* The log file's content (UTF-8), read while the library may hold it open; NULL when absent. */
static char* read_log(void) {
  HANDLE file =
      CreateFileW(log_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  NULL, OPEN_EXISTING, 0, NULL);
  DWORD size, got = 0;
  char* text;
  if (file == INVALID_HANDLE_VALUE) return NULL;
  size = GetFileSize(file, NULL);
  text = calloc(size + 1, 1);
  if (text != NULL && !ReadFile(file, text, size, &got, NULL)) got = 0;
  if (text != NULL) text[got] = 0;
  CloseHandle(file);
  return text;
}

static int occurrences(const char* text, const char* part) {
  int n = 0;
  for (const char* at = text; (at = strstr(at, part)) != NULL; at += strlen(part)) ++n;
  return n;
}

/* The records of the retry loop for a server that stays unavailable, with 2 retries: one
 * reconnect at once, then attempts 1 to 3 with a wait before the last two, and the failure of
 * each attempt with the platform's text for 1722 (expected, in UTF-16). */
static void check_retry_records(const wchar_t* expected) {
  char* log = read_log();
  char text[512], attempt[64];
  int n;
  check(log != NULL, "the library wrote its log file");
  if (log == NULL) return;
  check(occurrences(log, "Reconnecting...") == 1, "log: one reconnect");
  for (n = 1; n <= 3; ++n) {
    snprintf(attempt, sizeof attempt, "Retrying RPC call. Attempt: [%d], Method: [DoRpc]", n);
    check(occurrences(log, attempt) == 1, attempt);
  }
  check(strstr(log, "Attempt: [4]") == NULL, "log: no fourth attempt");
  check(occurrences(log, "RPC client failed to call method [DoRpc]. Sleep interval: [") == 2,
        "log: two waits");
  check(occurrences(log, "RPC client failed to call method [DoRpc]") == 4,
        "log: every failed attempt");
  WideCharToMultiByte(CP_UTF8, 0, expected, -1, text, sizeof text, NULL, NULL);
  check(occurrences(log, text) >= 4, "log: the failures carry the platform's text for 1722");
  if (failures) printf("  log:\n%s\n", log);
  free(log);
}

int main(int argc, char** argv) {
  wchar_t host[64], expected[512];
  HMODULE dll;
  static const char* names[] = {"DoRpcCall", "LibStrFree", "RpcConnect", "RpcDisconnect"};
  FARPROC by_name[4];
  wchar_t *id = NULL, *answer = NULL, *error = NULL;
  int i;

  if (argc != 3) {
    fprintf(stderr, "usage: dll_host ADDRESS PORT\n");
    return 2;
  }
  swprintf(host, 64, L"%hs", argv[1]);
  set_options();

  dll = LoadLibraryW(L"ZelqaRpcClientDll.dll");
  check(dll != NULL, "LoadLibraryW(ZelqaRpcClientDll.dll)");
  if (dll == NULL) return 1;
  for (i = 0; i < 4; ++i) {
    by_name[i] = GetProcAddress(dll, names[i]);
    check(by_name[i] != NULL, names[i]);
    check(GetProcAddress(dll, MAKEINTRESOURCEA(i + 1)) == by_name[i], "same entry by ordinal");
  }
  check(GetProcAddress(dll, MAKEINTRESOURCEA(5)) == NULL, "no fifth ordinal");
  if (failures || !find_entry_points(dll)) return 1;

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
  check_retry_records(expected);
  check(rpc_disconnect(id, &error) == ZELQA_S_OK, "disconnect");
  lib_str_free(id);

  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
