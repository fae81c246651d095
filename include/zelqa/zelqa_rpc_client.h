/*
 * Zelqa RPC client library: the four entry points of libZelqaRpcClientDll.
 *
 * A host opens a connection with RpcConnect, calls the remote procedure DoRpc over it with
 * DoRpcCall, closes it with RpcDisconnect, and releases every string that the library hands
 * back with LibStrFree. All text is NUL-terminated UTF-16 (zelqa_char_t). Every function
 * but LibStrFree returns 0 (S_OK) on success and 0x80004005 (E_FAIL) on failure; on failure
 * *errorText receives the error text, on success the result out-parameter receives the result.
 * An out-parameter of the other path is left untouched. Returned blocks hold
 * (length + 1) * 2 bytes and belong to the caller until passed to LibStrFree.
 * Safe to call from any number of threads.
 */
#ifndef ZELQA_ZELQA_RPC_CLIENT_H_
#define ZELQA_ZELQA_RPC_CLIENT_H_

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t zelqa_char_t;
#define ZELQA_CALL __stdcall
#if defined(ZELQA_BUILDING_LIBRARY)
/* The module definition file names the exports, undecorated and with their ordinals. */
#define ZELQA_EXPORT
#else
#define ZELQA_EXPORT __declspec(dllimport)
#endif
#else
#if !defined(__cplusplus)
#include <uchar.h>
#endif
typedef char16_t zelqa_char_t;
#define ZELQA_CALL
#define ZELQA_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t zelqa_hresult_t;

#define ZELQA_S_OK ((zelqa_hresult_t)0)
#define ZELQA_E_FAIL ((zelqa_hresult_t)0x80004005u)

/* Opens a connection to host (name or address) on port (0: ask the host's endpoint mapper),
 * as the current user when userName is empty, otherwise as userName ("DOMAIN\\user",
 * "user@domain" or "user") with password. The service principal is serviceName + "/" + host.
 * On success *connectionId receives the connection identifier ("{" GUID "}"). */
ZELQA_EXPORT zelqa_hresult_t ZELQA_CALL RpcConnect(const zelqa_char_t* host, uint32_t port,
                                                   const zelqa_char_t* userName,
                                                   const zelqa_char_t* password,
                                                   const zelqa_char_t* serviceName,
                                                   zelqa_char_t** connectionId,
                                                   zelqa_char_t** errorText);

/* Calls DoRpc with request1 and request2 over the connection; on success *answer receives
 * the server's answer (possibly empty, never null). */
ZELQA_EXPORT zelqa_hresult_t ZELQA_CALL DoRpcCall(const zelqa_char_t* connectionId,
                                                  const zelqa_char_t* request1,
                                                  const zelqa_char_t* request2,
                                                  zelqa_char_t** answer, zelqa_char_t** errorText);

/* Closes the connection. An unknown identifier is not an error. Calls under way on the
 * connection finish with their own result. */
ZELQA_EXPORT zelqa_hresult_t ZELQA_CALL RpcDisconnect(const zelqa_char_t* connectionId,
                                                      zelqa_char_t** errorText);

/* Releases a string returned by the library; null is ignored. */
ZELQA_EXPORT void ZELQA_CALL LibStrFree(zelqa_char_t* str);

#ifdef __cplusplus
}
#endif

#endif /* ZELQA_ZELQA_RPC_CLIENT_H_ */
