/* Loads the shared library the way a host does and drives the four exports from C.
 * Usage: abi_test LIBRARY [HOST PORT USER PASSWORD_FILE SERVICE]
 * Without a server it checks the paths that need none; with one it also calls through. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zelqa/zelqa_rpc_client.h"

typedef zelqa_hresult_t (*connect_fn)(const zelqa_char_t*, uint32_t, const zelqa_char_t*,
                                      const zelqa_char_t*, const zelqa_char_t*, zelqa_char_t**,
                                      zelqa_char_t**);
typedef zelqa_hresult_t (*call_fn)(const zelqa_char_t*, const zelqa_char_t*, const zelqa_char_t*,
                                   zelqa_char_t**, zelqa_char_t**);
typedef zelqa_hresult_t (*disconnect_fn)(const zelqa_char_t*, zelqa_char_t**);
typedef void (*free_fn)(zelqa_char_t*);

static int failures = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

/* ASCII to UTF-16, for the command line's arguments. */
static zelqa_char_t* widen(const char* s) {
  size_t n = strlen(s);
  zelqa_char_t* w = malloc((n + 1) * sizeof(zelqa_char_t));
  for (size_t i = 0; i <= n; ++i) w[i] = (zelqa_char_t)(unsigned char)s[i];
  return w;
}

/* UTF-16 to ASCII for comparisons; other characters become '?'. */
static char* narrow(const zelqa_char_t* w) {
  size_t n = 0;
  while (w[n]) ++n;
  char* s = malloc(n + 1);
  for (size_t i = 0; i <= n; ++i) s[i] = w[i] < 128 ? (char)w[i] : '?';
  return s;
}

/* Whether the text equals `want`; the block is freed. A failed call's text is printed. */
static free_fn lib_str_free;
static int text_is(zelqa_char_t* w, const char* want) {
  if (!w) return 0;
  char* text = narrow(w);
  const int same = want && strcmp(text, want) == 0;
  if (!want) fprintf(stderr, "failed: %s\n", text);
  free(text);
  lib_str_free(w);
  return same;
}

/* Connects, calls once, disconnects, and checks that the identifier is gone. */
static void call_through(connect_fn rpc_connect, call_fn do_rpc_call, disconnect_fn rpc_disconnect,
                         char** argv) {
  char password[512] = "";
  FILE* file = fopen(argv[5], "r");
  CHECK(file && fgets(password, sizeof password, file));
  if (file) fclose(file);
  password[strcspn(password, "\r\n")] = 0;
  zelqa_char_t* host = widen(argv[2]);
  zelqa_char_t* user = widen(argv[4]);
  zelqa_char_t* pass = widen(password);
  zelqa_char_t* service = widen(argv[6]);
  zelqa_char_t *id = NULL, *answer = NULL, *error = NULL;
  zelqa_hresult_t hr =
      rpc_connect(host, (uint32_t)strtoul(argv[3], NULL, 10), user, pass, service, &id, &error);
  CHECK(hr == ZELQA_S_OK || text_is(error, NULL));
  if (hr == ZELQA_S_OK) {
    char* id_text = narrow(id);
    CHECK(strlen(id_text) == 38 && id_text[0] == '{' && id_text[37] == '}');
    free(id_text);
    hr = do_rpc_call(id, u"Hello, ", u"world", &answer, &error);
    CHECK(hr == ZELQA_S_OK ? text_is(answer, "Hello, world") : text_is(error, NULL));
    error = NULL;
    CHECK(rpc_disconnect(id, &error) == ZELQA_S_OK);
    CHECK(do_rpc_call(id, u"Hello, ", u"world", &answer, &error) == ZELQA_E_FAIL);
    lib_str_free(error);
    lib_str_free(id);
  }
  free(host);
  free(user);
  free(pass);
  free(service);
}

int main(int argc, char** argv) {
  if (argc != 2 && argc != 7) {
    fprintf(stderr, "usage: %s LIBRARY [HOST PORT USER PASSWORD_FILE SERVICE]\n", argv[0]);
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  connect_fn rpc_connect = (connect_fn)dlsym(lib, "RpcConnect");
  call_fn do_rpc_call = (call_fn)dlsym(lib, "DoRpcCall");
  disconnect_fn rpc_disconnect = (disconnect_fn)dlsym(lib, "RpcDisconnect");
  lib_str_free = (free_fn)dlsym(lib, "LibStrFree");
  CHECK(rpc_connect && do_rpc_call && rpc_disconnect && lib_str_free);
  if (failures) return 1;

  /* An identifier that was never returned: E_FAIL, the text, the answer untouched. */
  const zelqa_char_t* bogus = u"{00000000-0000-0000-0000-000000000000}";
  zelqa_char_t* answer = (zelqa_char_t*)0x1;
  zelqa_char_t* error = NULL;
  CHECK(do_rpc_call(bogus, u"x", u"x", &answer, &error) == ZELQA_E_FAIL);
  CHECK(answer == (zelqa_char_t*)0x1);
  CHECK(text_is(error,
                "Failed to call RPC method. No such connection: "
                "{00000000-0000-0000-0000-000000000000}"));
  /* Disconnecting an unknown identifier succeeds and writes nothing. */
  error = (zelqa_char_t*)0x1;
  CHECK(rpc_disconnect(bogus, &error) == ZELQA_S_OK);
  CHECK(error == (zelqa_char_t*)0x1);
  lib_str_free(NULL);

  if (argc == 7) call_through(rpc_connect, do_rpc_call, rpc_disconnect, argv);
  /* A host may unload the library; it stays mapped (it is linked nodelete), so its
   * process-wide objects are neither leaked nor left dangling. */
  if (dlclose(lib) != 0) {
    fprintf(stderr, "dlclose: %s\n", dlerror());
    failures++;
  }
  return failures ? 1 : 0;
}
