// The Windows RPC run-time calls the library makes, with their names and contracts, over our
// own run time (rpcrt). Each returns RPC_S_OK or the RPC status Windows would return;
// RpcSendReceive raises rpcrt::RpcError instead, as an RPC exception travels on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "platform/win_types.h"
#include "rpcrt/ndr/data_rep.h"
#include "rpcrt/status.h"
#include "rpcrt/client/reply.h"

using RPC_BINDING_HANDLE = void*;
using handle_t = RPC_BINDING_HANDLE;
using RPC_CSTR = unsigned char*;
using RPC_WSTR = unsigned short*;
using RPC_AUTH_IDENTITY_HANDLE = void*;
using ULONG_PTR = uintptr_t;

struct RPC_VERSION {
  unsigned short MajorVersion;
  unsigned short MinorVersion;
};

struct RPC_SYNTAX_IDENTIFIER {
  GUID SyntaxGUID;
  RPC_VERSION SyntaxVersion;
};

// The client interface record that an RPC_IF_HANDLE points to. Only the interface and
// transfer syntax identities are read here.
struct RPC_CLIENT_INTERFACE {
  unsigned int Length;
  RPC_SYNTAX_IDENTIFIER InterfaceId;
  RPC_SYNTAX_IDENTIFIER TransferSyntax;
  void* DispatchTable;
  unsigned int RpcProtseqEndpointCount;
  void* RpcProtseqEndpoint;
  ULONG_PTR Reserved;
  const void* InterpreterInfo;
  unsigned int Flags;
};
using RPC_IF_HANDLE = void*;

// Explicit credentials; the strings are UTF-16 and the lengths count code units without the
// terminator.
struct SEC_WINNT_AUTH_IDENTITY_W {
  unsigned short* User;
  ULONG UserLength;
  unsigned short* Domain;
  ULONG DomainLength;
  unsigned short* Password;
  ULONG PasswordLength;
  ULONG Flags;
};
inline constexpr ULONG SEC_WINNT_AUTH_IDENTITY_ANSI = 1;
inline constexpr ULONG SEC_WINNT_AUTH_IDENTITY_UNICODE = 2;

inline constexpr ULONG RPC_C_AUTHN_LEVEL_DEFAULT = 0;
inline constexpr ULONG RPC_C_AUTHN_LEVEL_NONE = 1;
inline constexpr ULONG RPC_C_AUTHN_LEVEL_CONNECT = 2;
inline constexpr ULONG RPC_C_AUTHN_LEVEL_CALL = 3;
inline constexpr ULONG RPC_C_AUTHN_LEVEL_PKT = 4;
inline constexpr ULONG RPC_C_AUTHN_LEVEL_PKT_INTEGRITY = 5;
inline constexpr ULONG RPC_C_AUTHN_LEVEL_PKT_PRIVACY = 6;
inline constexpr ULONG RPC_C_AUTHN_NONE = 0;
inline constexpr ULONG RPC_C_AUTHN_GSS_NEGOTIATE = 9;
inline constexpr ULONG RPC_C_AUTHN_WINNT = 10;
inline constexpr ULONG RPC_C_AUTHN_GSS_KERBEROS = 16;
inline constexpr ULONG RPC_C_AUTHN_DEFAULT = 0xffffffffu;
inline constexpr ULONG RPC_C_AUTHZ_NONE = 0;

inline constexpr unsigned int RPC_C_BINDING_MIN_TIMEOUT = 0;
inline constexpr unsigned int RPC_C_BINDING_DEFAULT_TIMEOUT = 5;
inline constexpr unsigned int RPC_C_BINDING_INFINITE_TIMEOUT = 10;

inline constexpr unsigned long RPC_C_OPT_UNIQUE_BINDING = 11;
inline constexpr unsigned long RPC_C_OPT_CALL_TIMEOUT = 12;
inline constexpr unsigned long RPC_C_OPT_DONT_LINGER = 13;

// The statuses by their Windows names, from the run time's table.
inline constexpr RPC_STATUS RPC_S_INVALID_STRING_BINDING = rpcrt::kInvalidStringBinding;
inline constexpr RPC_STATUS RPC_S_INVALID_BINDING = rpcrt::kInvalidBinding;
inline constexpr RPC_STATUS RPC_S_PROTSEQ_NOT_SUPPORTED = rpcrt::kProtseqNotSupported;
inline constexpr RPC_STATUS RPC_S_INVALID_ENDPOINT_FORMAT = rpcrt::kInvalidEndpointFormat;
inline constexpr RPC_STATUS RPC_S_INVALID_TIMEOUT = rpcrt::kInvalidTimeout;
inline constexpr RPC_STATUS RPC_S_UNKNOWN_IF = rpcrt::kUnknownIf;
inline constexpr RPC_STATUS RPC_S_SERVER_UNAVAILABLE = rpcrt::kServerUnavailable;
inline constexpr RPC_STATUS RPC_S_CALL_FAILED = rpcrt::kCallFailed;
inline constexpr RPC_STATUS RPC_S_CALL_FAILED_DNE = rpcrt::kCallFailedDne;
inline constexpr RPC_STATUS RPC_S_PROTOCOL_ERROR = rpcrt::kProtocolError;
inline constexpr RPC_STATUS RPC_S_PROCNUM_OUT_OF_RANGE = rpcrt::kProcnumOutOfRange;
inline constexpr RPC_STATUS RPC_S_UNKNOWN_AUTHN_SERVICE = rpcrt::kUnknownAuthnService;
inline constexpr RPC_STATUS RPC_S_INVALID_AUTH_IDENTITY = rpcrt::kInvalidAuthIdentity;
inline constexpr RPC_STATUS RPC_S_UNKNOWN_AUTHZ_SERVICE = rpcrt::kUnknownAuthzService;
inline constexpr RPC_STATUS EPT_S_NOT_REGISTERED = rpcrt::kEptNotRegistered;
inline constexpr RPC_STATUS RPC_X_NULL_REF_POINTER = rpcrt::kNullRefPointer;
inline constexpr RPC_STATUS RPC_X_BAD_STUB_DATA = rpcrt::kBadStubData;
inline constexpr RPC_STATUS RPC_S_CALL_CANCELLED = rpcrt::kCallCancelled;
inline constexpr RPC_STATUS RPC_S_UNSUPPORTED_AUTHN_LEVEL = rpcrt::kUnsupportedAuthnLevel;
inline constexpr RPC_STATUS RPC_S_SEC_PKG_ERROR = rpcrt::kSecPkgError;

RPC_STATUS RpcStringBindingComposeA(RPC_CSTR ObjUuid, RPC_CSTR ProtSeq, RPC_CSTR NetworkAddr,
                                    RPC_CSTR Endpoint, RPC_CSTR Options, RPC_CSTR* StringBinding);
RPC_STATUS RpcStringFreeA(RPC_CSTR* String);
RPC_STATUS RpcBindingFromStringBindingA(RPC_CSTR StringBinding, RPC_BINDING_HANDLE* Binding);
// Copies the principal name and the identity; the copy is wiped when the binding goes.
RPC_STATUS RpcBindingSetAuthInfoW(RPC_BINDING_HANDLE Binding, RPC_WSTR ServerPrincName,
                                  ULONG AuthnLevel, ULONG AuthnSvc,
                                  RPC_AUTH_IDENTITY_HANDLE AuthIdentity, ULONG AuthzSvc);
// Asks the host's endpoint mapper when the binding has no endpoint; otherwise does nothing.
RPC_STATUS RpcEpResolveBinding(RPC_BINDING_HANDLE Binding, RPC_IF_HANDLE IfSpec);
RPC_STATUS RpcMgmtSetComTimeout(RPC_BINDING_HANDLE Binding, unsigned int Timeout);
RPC_STATUS RpcBindingSetOption(RPC_BINDING_HANDLE Binding, unsigned long Option,
                               ULONG_PTR OptionValue);
RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* Binding);

// Builds the run time's process-wide objects (the cache of lingering connections) now.
// Statics are destroyed in the reverse order of their construction: an object that holds
// bindings until exit calls this before it is built, so that it frees them into a live cache.
void PrepareRpcRunTime();

namespace platform {

// Where RpcEpResolveBinding finds the host's endpoint mapper for this binding: 135 unless
// this moves it (0 moves it back). The system's run time always asks port 135.
RPC_STATUS SetEndpointMapperPort(RPC_BINDING_HANDLE Binding, uint16_t port);

// Installs the receiver of notes on how Negotiate authenticated each connection (the
// mechanism, the account, why one was passed over). The system's run time gives none.
using AuthNoteReceiver = void (*)(const std::string& note);
void SetAuthNoteReceiver(AuthNoteReceiver receiver);

}  // namespace platform

// The client stub's way to the wire, as NdrSendReceive: sends `request` (NDR) as operation
// `opnum` of the interface on the binding and returns the reply. Raises rpcrt::RpcError with
// the status of any failure.
rpcrt::client::Reply RpcSendReceive(RPC_BINDING_HANDLE binding, RPC_IF_HANDLE interface_spec,
                                    uint16_t opnum, std::span<const uint8_t> request);
