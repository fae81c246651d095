// A DoRpc handler that answers with the output of a command: the command runs with the two
// requests (UTF-8) in its environment, and its standard output (exit status 0) is the answer;
// otherwise its standard error, or what stopped it, is the call's error text. Requests never
// reach the command line, where one starting with a dash would be read as an option.
#pragma once

#include <string>
#include <vector>

#include "server/child_process.h"
#include "server/do_rpc_service.h"

namespace zelqa::server {

class ExecHandler {
 public:
  // `command` is the program and all its arguments. The child gets the server's environment
  // plus ZELQA_REQUEST1, ZELQA_REQUEST2, ZELQA_CALLER_ADDRESS and ZELQA_CALLER_ACCOUNT.
  ExecHandler(std::vector<std::string> command, ChildLimits limits);

  // Runs one call. `summary` receives how it ended in words fit for the call log: never the
  // requests nor what the command wrote.
  DoRpcOutcome Call(const std::u16string& request1, const std::u16string& request2,
                    const rpcrt::server::CallContext& call, std::string& summary);

  // Ends every running command (the server is stopping).
  void CancelAll() { children_.CancelAll(); }

 private:
  std::vector<std::string> Environment(const std::u16string& request1,
                                       const std::u16string& request2,
                                       const rpcrt::server::CallContext& call) const;

  std::vector<std::string> command_;
  ChildLimits limits_;
  ChildGroup children_;
};

}  // namespace zelqa::server
