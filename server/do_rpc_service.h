// The DoRpc interface on the server side: decodes a call, hands the two requests to a
// handler, encodes its outcome as the reply.
#pragma once

#include <functional>
#include <string>

#include "rpcrt/pdu/syntax.h"
#include "rpcrt/server/server.h"

namespace zelqa::server {

// The interface d1c2c07a-d989-48cc-a423-b73ecd518d40 v1.0.
extern const rpcrt::SyntaxId kDoRpcInterface;

// What a handler decides: the answer when it performed the request, else the error text.
struct DoRpcOutcome {
  bool succeeded = true;
  std::u16string answer;
  std::u16string error_message;
};

using DoRpcHandler =
    std::function<DoRpcOutcome(const std::u16string& request1, const std::u16string& request2,
                               const rpcrt::server::CallContext& call)>;

// The handler of the reference server: the answer is request1 followed by request2.
DoRpcOutcome EchoHandler(const std::u16string& request1, const std::u16string& request2,
                         const rpcrt::server::CallContext& call);

// Registers the interface on the server; DoRpc calls go to the handler, on connections at
// packet privacy only when require_privacy is set.
void RegisterDoRpc(rpcrt::server::Server& server, DoRpcHandler handler, bool require_privacy);

// The reply body of DoRpc for an outcome (exposed for tests of the byte layout).
std::vector<uint8_t> EncodeDoRpcReply(const DoRpcOutcome& outcome);

}  // namespace zelqa::server
