#include "server/do_rpc_service.h"

#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"

namespace zelqa::server {

const rpcrt::SyntaxId kDoRpcInterface{rpcrt::MakeUuid("d1c2c07a-d989-48cc-a423-b73ecd518d40"), 1,
                                      0};

DoRpcOutcome EchoHandler(const std::u16string& request1, const std::u16string& request2,
                         const rpcrt::server::CallContext&) {
  return DoRpcOutcome{true, request1 + request2, {}};
}

std::vector<uint8_t> EncodeDoRpcReply(const DoRpcOutcome& outcome) {
  rpcrt::NdrWriter out;
  // [out] answer: a unique pointer, present only when the request was performed.
  if (out.WriteUniquePointer(outcome.succeeded) != 0) out.WriteWideString(outcome.answer);
  // The returned structure: succeeded (small), padding, the errorMessage pointer, then its
  // referent after the flat part.
  out.Align(4);
  out.WriteU8(outcome.succeeded ? 1 : 0);
  if (out.WriteUniquePointer(!outcome.succeeded) != 0) out.WriteWideString(outcome.error_message);
  return out.Take();
}

void RegisterDoRpc(rpcrt::server::Server& server, DoRpcHandler handler, bool require_privacy) {
  constexpr uint16_t kOperations = 1;  // only DoRpc is served; others are out of range
  server.RegisterInterface(
      kDoRpcInterface, kOperations,
      [handler = std::move(handler)](const rpcrt::server::CallContext& call) {
        // A malformed stub raises bad stub data, which becomes the call's fault.
        rpcrt::NdrReader in(call.stub, call.drep);
        const std::u16string request1 = in.ReadWideString();
        const std::u16string request2 = in.ReadWideString();
        return EncodeDoRpcReply(handler(request1, request2, call));
      },
      require_privacy ? rpcrt::security::AuthnLevel::kPktPrivacy
                      : rpcrt::security::AuthnLevel::kNone);
}

}  // namespace zelqa::server
