#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "rpc/do_rpc_stub.h"
#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "rpcrt/status.h"

namespace {

RPC_CLIENT_INTERFACE MakeInterface() {
  RPC_CLIENT_INTERFACE iface{};
  iface.Length = sizeof(RPC_CLIENT_INTERFACE);
  iface.InterfaceId = {
      {0xd1c2c07a, 0xd989, 0x48cc, {0xa4, 0x23, 0xb7, 0x3e, 0xcd, 0x51, 0x8d, 0x40}}, {1, 0}};
  iface.TransferSyntax = {
      {0x8a885d04, 0x1ceb, 0x11c9, {0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}}, {2, 0}};
  return iface;
}

// A string the caller owns, allocated through the stub's allocation hook.
char16_t* AllocString(const std::u16string& text) {
  auto* block = static_cast<char16_t*>(MIDL_user_allocate((text.size() + 1) * sizeof(char16_t)));
  if (block == nullptr) throw rpcrt::RpcError(rpcrt::kErrorOutOfMemory, "stub allocation");
  std::memcpy(block, text.data(), text.size() * sizeof(char16_t));
  block[text.size()] = u'\0';
  return block;
}

}  // namespace

RPC_IF_HANDLE DoRpcInterfaceSpec() {
  static RPC_CLIENT_INTERFACE iface = MakeInterface();
  return &iface;
}

void* MIDL_user_allocate(size_t size) {
  return std::malloc(size);
}
void MIDL_user_free(void* block) {
  std::free(block);
}

DoRpcResult DoRpc(RPC_BINDING_HANDLE binding, const char16_t* request1, const char16_t* request2,
                  char16_t** answer) {
  if (request1 == nullptr || request2 == nullptr || answer == nullptr) {
    throw rpcrt::RpcError(rpcrt::kNullRefPointer, "null argument to DoRpc");
  }
  rpcrt::NdrWriter request;
  request.WriteWideString(request1);
  request.WriteWideString(request2);

  rpcrt::client::Reply reply =
      RpcSendReceive(binding, DoRpcInterfaceSpec(), kDoRpcOpnum, request.bytes());

  // The reader converts a reply in another data representation as it reads.
  rpcrt::NdrReader reader(reply.stub, reply.drep);
  DoRpcResult result{};
  std::optional<std::u16string> answer_text = reader.ReadUniqueWideString();
  *answer = answer_text ? AllocString(*answer_text) : nullptr;
  try {
    reader.Align(4);
    result.succeeded = reader.ReadU8();
    std::optional<std::u16string> error_text = reader.ReadUniqueWideString();
    result.errorMessage = error_text ? AllocString(*error_text) : nullptr;
  } catch (...) {
    // What was already unmarshalled into the caller's variables stays the caller's; the
    // answer is released here only because the caller never sees a result with it.
    MIDL_user_free(*answer);
    *answer = nullptr;
    throw;
  }
  return result;
}
