/* A host linked against the DLL's import library instead of loading it at run time: on i686
 * its __stdcall calls must resolve to the undecorated exports. Built, not run. */
#include "zelqa/zelqa_rpc_client.h"
int main(void) {
  zelqa_char_t* error = 0;
  LibStrFree(0);
  return RpcDisconnect(L"x", &error) == ZELQA_S_OK ? 0 : 1;
}
