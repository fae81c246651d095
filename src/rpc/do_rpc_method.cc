#include "rpc/do_rpc_method.h"

#include "exc/exceptions.h"
#include "exc/string_conv.h"

namespace rpc {

CRpcMethodBase::~CRpcMethodBase() {
  ReleaseErrorMessage();
}

void CRpcMethodBase::ReleaseErrorMessage() noexcept {
  MIDL_user_free(result_.errorMessage);
  result_.errorMessage = nullptr;
}

void CRpcMethodBase::Execute(RPC_BINDING_HANDLE binding) {
  DoRpcResult result = CallRemote(binding);
  ReleaseErrorMessage();
  result_ = result;
}

void CRpcMethodBase::CheckResult() {
  if (result_.succeeded != 0) return;
  // A failure without a text from the server reads as an empty message.
  const std::u16string message = result_.errorMessage ? result_.errorMessage : u"";
  ReleaseErrorMessage();
  throw exc::runtime_exc_t(exc::wide_to_utf8(message));
}

CDoRpcMethod::~CDoRpcMethod() = default;

DoRpcResult CDoRpcMethod::CallRemote(RPC_BINDING_HANDLE binding) {
  char16_t* answer = nullptr;
  DoRpcResult result = DoRpc(binding, request1_, request2_, &answer);
  if (result.succeeded != 0) {
    try {
      output_ = answer ? answer : u"";
    } catch (...) {
      MIDL_user_free(answer);
      MIDL_user_free(result.errorMessage);
      throw;
    }
  }
  MIDL_user_free(answer);
  return result;
}

}  // namespace rpc
