/* A host built against the installed tree: linked with the library (no dlopen), it checks
 * that the exports resolve to the installed file and calls through them once.
 * Usage: consumer LIBRARY HOST PORT USER PASSWORD_FILE SERVICE */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zelqa/zelqa_rpc_client.h"

/* ASCII, as the arguments are, to a new UTF-16 string. */
static zelqa_char_t* utf16(const char* text) {
  size_t n = strlen(text);
  zelqa_char_t* out = calloc(n + 1, sizeof *out);
  for (size_t i = 0; out && i < n; ++i) out[i] = (unsigned char)text[i];
  return out;
}

static int report(const char* what, zelqa_char_t* error) {
  fprintf(stderr, "%s failed:", what);
  for (const zelqa_char_t* c = error; c && *c; ++c)
    fprintf(stderr, *c < 128 ? "%c" : "\\u%04x", *c);
  fputc('\n', stderr);
  LibStrFree(error);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 7) {
    fprintf(stderr, "usage: %s LIBRARY HOST PORT USER PASSWORD_FILE SERVICE\n", argv[0]);
    return 2;
  }
  Dl_info info;
  char used[PATH_MAX], expected[PATH_MAX];
  if (!dladdr((void*)&RpcConnect, &info) || !realpath(info.dli_fname, used) ||
      !realpath(argv[1], expected) || strcmp(used, expected) != 0) {
    fprintf(stderr, "RpcConnect does not come from %s\n", argv[1]);
    return 1;
  }

  char password[256] = "";
  FILE* file = fopen(argv[5], "r");
  if (!file || !fgets(password, sizeof password, file)) return 1;
  fclose(file);
  password[strcspn(password, "\r\n")] = 0;

  zelqa_char_t* host = utf16(argv[2]);
  zelqa_char_t* user = utf16(argv[4]);
  zelqa_char_t* secret = utf16(password);
  zelqa_char_t* service = utf16(argv[6]);
  zelqa_char_t *id = NULL, *answer = NULL, *error = NULL;
  int status = 1;
  if (RpcConnect(host, (uint32_t)atoi(argv[3]), user, secret, service, &id, &error) != ZELQA_S_OK) {
    status = report("RpcConnect", error);
  } else if (DoRpcCall(id, u"caf\u00e9 ", u"\U0001F600", &answer, &error) != ZELQA_S_OK) {
    status = report("DoRpcCall", error);
  } else {
    static const zelqa_char_t want[] = u"caf\u00e9 \U0001F600";
    size_t i = 0;
    while (answer[i] != 0 && answer[i] == want[i]) ++i;
    status = answer[i] == want[i] ? 0 : 1;
    if (status) fprintf(stderr, "unexpected answer\n");
    LibStrFree(answer);
  }
  if (id && RpcDisconnect(id, &error) != ZELQA_S_OK) status = report("RpcDisconnect", error);
  LibStrFree(id);
  free(host);
  free(user);
  free(secret);
  free(service);
  return status;
}
