// The library's own cost per call: DoRpcCall through the exports (registry, invoker, retry
// loop, returned blocks) against the same DoRpc made directly on the run time (the client
// stub on a binding built the same way, NTLM-sealed at packet privacy), and against a plain
// TCP request/response of the same bytes. All three in one run, in alternating rounds, best
// round of each; prints the ratios.
//
//   client_bench [--quick]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/rpcrt/plain_tcp_echo.h"
#include "rpc/do_rpc_stub.h"
#include "rpc/proxy_rpc_invoker.h"
#include "rpc/rpc_binding.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "rpcrt/server/server.h"
#include "server/do_rpc_service.h"
#include "zelqa/zelqa_rpc_client.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char16_t kAccount[] = u"BENCH\\user";
constexpr char16_t kPassword[] = u"bench-password";
constexpr char16_t kService[] = u"bench";

// Seconds per call of `op` over `iterations` calls.
double TimePerOp(int iterations, const std::function<void()>& op) {
  const auto start = Clock::now();
  for (int i = 0; i < iterations; ++i) op();
  return std::chrono::duration<double>(Clock::now() - start).count() / iterations;
}

// Best time per call of each op, the ops taking turns round by round so that load from
// elsewhere on the machine does not land on one of them only.
std::vector<double> Race(int rounds, int iterations,
                         const std::vector<std::function<void()>>& ops) {
  std::vector<double> best(ops.size(), 1e9);
  for (const auto& op : ops) TimePerOp(std::max(1, iterations / 10), op);
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < ops.size(); ++i)
      best[i] = std::min(best[i], TimePerOp(iterations, ops[i]));
  }
  return best;
}

// A connection made through the exports, as a host makes it.
class ExportsConnection {
 public:
  explicit ExportsConnection(uint16_t port) {
    zelqa_char_t* error = nullptr;
    if (RpcConnect(u"127.0.0.1", port, kAccount, kPassword, kService, &id_, &error) != ZELQA_S_OK) {
      LibStrFree(error);
      throw std::runtime_error("RpcConnect failed");
    }
  }
  ~ExportsConnection() {
    zelqa_char_t* error = nullptr;
    RpcDisconnect(id_, &error);
    LibStrFree(id_);
  }
  void Call(const std::u16string& r1, const std::u16string& r2) {
    zelqa_char_t* answer = nullptr;
    zelqa_char_t* error = nullptr;
    if (DoRpcCall(id_, r1.c_str(), r2.c_str(), &answer, &error) != ZELQA_S_OK) {
      LibStrFree(error);
      throw std::runtime_error("DoRpcCall failed");
    }
    LibStrFree(answer);
  }

 private:
  zelqa_char_t* id_ = nullptr;
};

// The same call on the run time alone: a binding configured as the library configures its
// own (with the identity of a logon made as the library makes it), and the DoRpc client stub
// on it.
class DirectConnection {
 public:
  explicit DirectConnection(uint16_t port) {
    logon_.LogonUser(kAccount, kPassword);
    identity_ = logon_.identity();
    rpc::rpc_connection_spec_t settings;
    settings.Host = u"127.0.0.1";
    settings.Port = port;
    settings.ServiceName = kService;
    settings.CurrentUser = 0;
    binding_ = rpc::CreateRpcBinding(identity_, settings, DoRpcInterfaceSpec());
  }
  void Call(const std::u16string& r1, const std::u16string& r2) {
    char16_t* answer = nullptr;
    const DoRpcResult result = DoRpc(binding_->get(), r1.c_str(), r2.c_str(), &answer);
    MIDL_user_free(answer);
    MIDL_user_free(result.errorMessage);
  }

 private:
  rpc::CProxyRpcInvoker logon_;  // holds the texts that identity_ points into
  SEC_WINNT_AUTH_IDENTITY_W identity_{};
  std::unique_ptr<rpc::rpc_binding_t> binding_;
};

// The request body that the stub marshals for the two strings: what the plain TCP side
// sends and receives instead.
std::vector<uint8_t> RequestBytes(const std::u16string& r1, const std::u16string& r2) {
  rpcrt::NdrWriter writer;
  writer.WriteWideString(r1);
  writer.WriteWideString(r2);
  return writer.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 3 : 7;
  const int iterations = quick ? 300 : 2000;

  char accounts[] = "/tmp/client-bench-XXXXXX";
  const int fd = mkstemp(accounts);
  if (fd >= 0) close(fd);
  std::ofstream(accounts) << "BENCH:user:bench-password\n";

  rpcrt::server::ServerOptions options;
  options.credentials = rpcrt::security::ServerCredentials{accounts, "", ""};
  rpcrt::server::Server server(options);
  zelqa::server::RegisterDoRpc(server, zelqa::server::EchoHandler, /*require_privacy=*/true);
  server.Start();
  bench::PlainEchoServer plain_server;
  bench::PlainClient plain(plain_server.port());

  ExportsConnection exports(server.port());
  DirectConnection direct(server.port());

  std::printf(
      "DoRpc over loopback, NTLM at packet privacy, one client thread; best of %d "
      "alternating rounds of %d calls\n",
      rounds, iterations);
  std::printf("%-16s %12s %12s %12s   %14s %14s %14s\n", "request", "exports us", "direct us",
              "tcp us", "exports/direct", "exports/tcp", "direct/tcp");
  for (size_t length : {size_t{8}, size_t{512}}) {
    const std::u16string r1(length, u'a'), r2(length, u'b');
    const std::vector<uint8_t> bytes = RequestBytes(r1, r2);
    std::vector<uint8_t> reply;
    const auto t = Race(rounds, iterations,
                        {[&] { exports.Call(r1, r2); }, [&] { direct.Call(r1, r2); },
                         [&] { plain.RoundTrip(bytes, reply); }});
    const std::string name = "2 x " + std::to_string(length) + " chars";
    std::printf("%-16s %12.1f %12.1f %12.1f   %14.2f %14.2f %14.2f\n", name.c_str(), t[0] * 1e6,
                t[1] * 1e6, t[2] * 1e6, t[0] / t[1], t[0] / t[2], t[1] / t[2]);
  }
  server.Stop();
  std::remove(accounts);
  return 0;
}
