// zelqa-rpc-server: the reference DoRpc server.
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "rpcrt/server/endpoint_mapper_server.h"
#include "rpcrt/server/server.h"
#include "server/do_rpc_service.h"
#include "server/server_args.h"

namespace {

using zelqa::server::ServerArgs;

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

  std::vector<std::unique_ptr<rpcrt::server::Server>> servers;
  for (const auto& listen : args.listen) {
    rpcrt::server::ServerOptions options;
    options.address = listen.address;
    options.port = listen.port;
    options.credentials = credentials;
    auto server = std::make_unique<rpcrt::server::Server>(options);
    zelqa::server::RegisterDoRpc(*server, zelqa::server::EchoHandler, /*require_privacy=*/true);
    server->Start();
    std::cout << "listening on " << listen.address << " port " << server->port() << std::endl;
    servers.push_back(std::move(server));
  }

  std::unique_ptr<rpcrt::server::EndpointMapperServer> epm;
  if (args.epm_port) {
    rpcrt::server::ServerOptions options;
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
  if (epm) epm->Stop();
  for (auto& server : servers) server->Stop();
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
