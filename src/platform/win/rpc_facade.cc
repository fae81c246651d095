#include "platform/rpc_facade.h"

#include <cstring>

#include "rpcrt/status.h"

#include "platform/win/windows_api.h"

namespace {

// The interface's records are laid out as the system's, so its run time reads them directly.
static_assert(sizeof(RPC_CLIENT_INTERFACE) == sizeof(win32::RPC_CLIENT_INTERFACE));
static_assert(sizeof(SEC_WINNT_AUTH_IDENTITY_W) == sizeof(win32::SEC_WINNT_AUTH_IDENTITY_W));

// NDR with little-endian integers, ASCII characters and IEEE floating point: what this
// machine writes, and what the reply is read in unless the server says otherwise.
constexpr win32::ULONG kLocalDataRepresentation = 0x10;

}  // namespace

RPC_STATUS RpcStringBindingComposeA(RPC_CSTR ObjUuid, RPC_CSTR ProtSeq, RPC_CSTR NetworkAddr,
                                    RPC_CSTR Endpoint, RPC_CSTR Options, RPC_CSTR* StringBinding) {
  return win32::RpcStringBindingComposeA(ObjUuid, ProtSeq, NetworkAddr, Endpoint, Options,
                                         StringBinding);
}

RPC_STATUS RpcStringFreeA(RPC_CSTR* String) {
  return win32::RpcStringFreeA(String);
}

RPC_STATUS RpcBindingFromStringBindingA(RPC_CSTR StringBinding, RPC_BINDING_HANDLE* Binding) {
  return win32::RpcBindingFromStringBindingA(StringBinding, Binding);
}

RPC_STATUS RpcBindingSetAuthInfoW(RPC_BINDING_HANDLE Binding, RPC_WSTR ServerPrincName,
                                  ULONG AuthnLevel, ULONG AuthnSvc,
                                  RPC_AUTH_IDENTITY_HANDLE AuthIdentity, ULONG AuthzSvc) {
  return win32::RpcBindingSetAuthInfoW(Binding, ServerPrincName, AuthnLevel, AuthnSvc, AuthIdentity,
                                       AuthzSvc);
}

RPC_STATUS RpcEpResolveBinding(RPC_BINDING_HANDLE Binding, RPC_IF_HANDLE IfSpec) {
  return win32::RpcEpResolveBinding(Binding, IfSpec);
}

RPC_STATUS RpcMgmtSetComTimeout(RPC_BINDING_HANDLE Binding, unsigned int Timeout) {
  return win32::RpcMgmtSetComTimeout(Binding, Timeout);
}

RPC_STATUS RpcBindingSetOption(RPC_BINDING_HANDLE Binding, unsigned long Option,
                               ULONG_PTR OptionValue) {
  return win32::RpcBindingSetOption(Binding, Option, OptionValue);
}

RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* Binding) {
  return win32::RpcBindingFree(Binding);
}

// Binding handles are the system's, which outlive every static of this library.
void PrepareRpcRunTime() {}

namespace platform {

// The system's run time always asks the mapper on its well-known port.
RPC_STATUS SetEndpointMapperPort(RPC_BINDING_HANDLE, uint16_t) {
  return RPC_S_OK;
}

void SetAuthNoteReceiver(AuthNoteReceiver) {}

}  // namespace platform

// The run time's message calls return their status instead of raising a structured
// exception, so every failure arrives here as a number and leaves as rpcrt::RpcError.
rpcrt::client::Reply RpcSendReceive(RPC_BINDING_HANDLE binding, RPC_IF_HANDLE interface_spec,
                                    uint16_t opnum, std::span<const uint8_t> request) {
  win32::RPC_MESSAGE message{};
  message.Handle = binding;
  message.DataRepresentation = kLocalDataRepresentation;
  message.RpcInterfaceInformation = interface_spec;
  message.ProcNum = opnum;
  message.BufferLength = static_cast<unsigned int>(request.size());
  RPC_STATUS status = win32::I_RpcGetBuffer(&message);
  if (status != RPC_S_OK) throw rpcrt::RpcError(static_cast<uint32_t>(status), "I_RpcGetBuffer");
  if (!request.empty()) std::memcpy(message.Buffer, request.data(), request.size());

  status = win32::I_RpcSendReceive(&message);
  rpcrt::client::Reply reply;
  if (status == RPC_S_OK) {
    const auto* stub = static_cast<const uint8_t*>(message.Buffer);
    reply.stub.assign(stub, stub + message.BufferLength);
    for (size_t i = 0; i < reply.drep.octets.size(); ++i) {
      reply.drep.octets[i] = static_cast<uint8_t>(message.DataRepresentation >> (8 * i));
    }
  }
  // After a failure the message still holds the request buffer, which is ours to free.
  win32::I_RpcFreeBuffer(&message);
  if (status != RPC_S_OK) {
    throw rpcrt::RpcError(static_cast<uint32_t>(status), "I_RpcSendReceive");
  }
  return reply;
}
