// zelqa-rpc-server: the reference DoRpc server.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "rpcrt/server/endpoint_mapper_server.h"
#include "rpcrt/server/server.h"
#include "server/call_log.h"
#include "server/do_rpc_service.h"
#include "server/exec_handler.h"
#include "server/server_args.h"

namespace {

using zelqa::server::DoRpcOutcome;
using zelqa::server::ServerArgs;

// Answers each call with the echo or the command, and logs it.
zelqa::server::DoRpcHandler LoggedHandler(zelqa::server::CallLog& log,
                                          zelqa::server::ExecHandler* exec) {
  return [&log, exec](const std::u16string& request1, const std::u16string& request2,
                      const rpcrt::server::CallContext& call) {
    const auto start = std::chrono::steady_clock::now();
    auto took = [&] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
    };
    try {
      std::string summary = "succeeded";
      DoRpcOutcome outcome = exec ? exec->Call(request1, request2, call, summary)
                                  : zelqa::server::EchoHandler(request1, request2, call);
      log.Record(call, took(), outcome.succeeded ? "succeeded" : "failed: " + summary);
      return outcome;
    } catch (const std::exception& e) {
      log.Record(call, took(), std::string("failed: ") + e.what());
      throw;
    }
  };
}

int Run(const ServerArgs& args) {
  rpcrt::security::ServerCredentials credentials;
  credentials.ntlm_account_file = args.accounts;
  credentials.keytab = args.keytab;
  credentials.service_principal = args.principal;

  // Signals are taken by sigwait below; every thread started from here inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // A log reader that went away must not take the server with it; commands get the default.
  signal(SIGPIPE, SIG_IGN);

  zelqa::server::CallLog log;
  std::optional<zelqa::server::ExecHandler> exec;
  if (!args.exec.empty()) {
    exec.emplace(args.exec, zelqa::server::ChildLimits{args.exec_timeout_ms, args.exec_max_output});
  }

  // The limits every listener shares, the endpoint mapper's included.
  rpcrt::server::ServerOptions limits;
  limits.credentials = credentials;
  limits.max_connections = args.max_connections;
  limits.bind_timeout_ms = args.bind_timeout_ms;
  limits.pdu_timeout_ms = args.pdu_timeout_ms;
  limits.idle_timeout_ms = args.idle_timeout_ms;
  // Mapper requests take a few hundred bytes and DoRpc takes none without privacy, so an
  // unauthenticated connection is held to 64 KiB; all requests together to eight of the
  // largest an authenticated caller may send.
  limits.max_unauthenticated_request = size_t{64} << 10;
  limits.max_requests_held = 8 * limits.max_request;
  limits.on_rejected = [&log](const rpcrt::server::Rejection& r) { log.Record(r); };

  std::vector<std::unique_ptr<rpcrt::server::Server>> servers;
  for (const auto& listen : args.listen) {
    rpcrt::server::ServerOptions options = limits;
    options.address = listen.address;
    options.port = listen.port;
    auto server = std::make_unique<rpcrt::server::Server>(options);
    zelqa::server::RegisterDoRpc(*server, LoggedHandler(log, exec ? &*exec : nullptr),
                                 /*require_privacy=*/true);
    server->Start();
    std::cout << "listening on " << listen.address << " port " << server->port() << std::endl;
    servers.push_back(std::move(server));
  }

  std::unique_ptr<rpcrt::server::EndpointMapperServer> epm;
  if (args.epm_port) {
    // Lookups may come anonymous or authenticated; with credentials the mapper takes both.
    rpcrt::server::ServerOptions options = limits;
    options.address = args.listen.front().address;
    options.port = *args.epm_port;
    epm = std::make_unique<rpcrt::server::EndpointMapperServer>(options);
    epm->Register(zelqa::server::kDoRpcInterface, servers.front()->port(), "Zelqa DoRpc");
    epm->Start();
    std::cout << "endpoint mapper on port " << epm->port() << std::endl;
  }

  int signal_number = 0;
  sigwait(&signals, &signal_number);
  std::cerr << "stopping on signal " << signal_number << std::endl;
  // Commands still running would hold their calls, and so Stop, until their time limit.
  if (exec) exec->CancelAll();
  if (epm) epm->Stop();
  for (auto& server : servers) server->Stop();
  std::cerr << "stopped" << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ServerArgs args;
  try {
    args = zelqa::server::ParseServerArgs(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& e) {
    std::cerr << "zelqa-rpc-server: " << e.what() << "\n\n" << zelqa::server::kServerUsage;
    return 2;
  }
  if (args.help) {
    std::cout << zelqa::server::kServerUsage;
    return 0;
  }
  try {
    return Run(args);
  } catch (const std::exception& e) {
    std::cerr << "zelqa-rpc-server: " << e.what() << "\n";
    return 1;
  }
}
