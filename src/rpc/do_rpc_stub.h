// The remote interface d1c2c07a-d989-48cc-a423-b73ecd518d40 v1.0 and the client stub of its
// operation 0, DoRpc.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/rpc_facade.h"

// What DoRpc returns: whether the server performed the request and, when not, its text.
struct DoRpcResult {
  uint8_t succeeded;
  char16_t* errorMessage;  // [unique, string], from MIDL_user_allocate; may be null
};

// The client interface handle (RPC_IF_HANDLE) of the interface.
RPC_IF_HANDLE DoRpcInterfaceSpec();

// Operation numbers of the interface; the library calls only DoRpc.
inline constexpr uint16_t kDoRpcOpnum = 0;

// Sends request1 and request2 and returns the server's result; *answer receives the server's
// answer (null when it sent none). Strings returned are the caller's, released with
// LibStrFree. Every failure is raised as rpcrt::RpcError with its status (1780 for a null
// argument, before anything is sent).
DoRpcResult DoRpc(RPC_BINDING_HANDLE binding, const char16_t* request1, const char16_t* request2,
                  char16_t** answer);

// The allocation hooks through which the stub allocates what it returns.
void* MIDL_user_allocate(size_t size);
void MIDL_user_free(void* block);
