// Round-trip latency, calls per second and bulk throughput of RPC calls over loopback, each
// measured against a plain TCP request/response of the same bytes in the same run; prints
// the ratios (RPC cost / plain TCP cost).
//
//   rpcrt_bench [--quick]
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "bench/rpcrt/plain_tcp_echo.h"
#include "rpcrt/client/binding.h"
#include "rpcrt/server/server.h"

namespace {

using bench::PlainClient;
using bench::PlainEchoServer;
using Clock = std::chrono::steady_clock;

constexpr rpcrt::SyntaxId kBenchInterface{rpcrt::MakeUuid("6d2a5c1e-7b0f-4e3d-8a9c-1f2e3d4c5b6a"),
                                          1, 0};

// Seconds per iteration of `op`, timed over batches of `iterations` after a warm-up.
double TimePerOp(int iterations, const std::function<void()>& op) {
  auto start = Clock::now();
  for (int i = 0; i < iterations; ++i) op();
  return std::chrono::duration<double>(Clock::now() - start).count() / iterations;
}

// Times `rpc` against `plain` in alternating rounds and keeps the best round of each, so that
// a burst of load from elsewhere on the machine does not land on one side only.
std::pair<double, double> Compare(int rounds, int iterations, const std::function<void()>& rpc,
                                  const std::function<void()>& plain) {
  for (int i = 0; i < 2; ++i) {
    rpc();
    plain();
  }
  double best_rpc = 1e9, best_plain = 1e9;
  for (int r = 0; r < rounds; ++r) {
    best_plain = std::min(best_plain, TimePerOp(iterations, plain));
    best_rpc = std::min(best_rpc, TimePerOp(iterations, rpc));
  }
  return {best_rpc, best_plain};
}

std::unique_ptr<rpcrt::client::Binding> BindTo(uint16_t port) {
  return std::make_unique<rpcrt::client::Binding>(
      rpcrt::client::StringBinding::Parse("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]"));
}

struct Row {
  std::string name;
  double rpc;    // seconds per op
  double plain;  // seconds per op
  size_t bytes;  // per direction per op
};

void Print(const Row& r) {
  if (r.bytes >= (1u << 20)) {
    double rpc_mbs = 2.0 * r.bytes / r.rpc / 1e6, plain_mbs = 2.0 * r.bytes / r.plain / 1e6;
    std::printf("%-34s rpc %9.1f MB/s   tcp %9.1f MB/s   ratio tcp/rpc %6.2f\n", r.name.c_str(),
                rpc_mbs, plain_mbs, plain_mbs / rpc_mbs);
  } else {
    std::printf(
        "%-34s rpc %9.1f us (%8.0f calls/s)   tcp %9.1f us (%8.0f/s)   ratio rpc/tcp %6.2f\n",
        r.name.c_str(), r.rpc * 1e6, 1.0 / r.rpc, r.plain * 1e6, 1.0 / r.plain, r.rpc / r.plain);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int small_iters = quick ? 2000 : 20000;
  const int bulk_iters = quick ? 4 : 10;

  char tmpl[] = "/tmp/rpcrt-bench-XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd >= 0) close(fd);
  std::string accounts = tmpl;
  std::ofstream(accounts) << "BENCH:user:bench-password\n";

  rpcrt::server::ServerOptions options;
  options.credentials = rpcrt::security::ServerCredentials{accounts, "", ""};
  rpcrt::server::Server server(options);
  server.RegisterInterface(kBenchInterface, 1, [](const rpcrt::server::CallContext& call) {
    return std::vector<uint8_t>(call.stub.begin(), call.stub.end());
  });
  server.Start();
  PlainEchoServer plain_server;
  PlainClient plain(plain_server.port());

  auto plain_binding = BindTo(server.port());
  auto sealed_binding = BindTo(server.port());
  rpcrt::client::AuthInfo auth;
  auth.service = rpcrt::security::AuthnService::kWinNt;
  auth.level = rpcrt::security::AuthnLevel::kPktPrivacy;
  auth.principal = u"bench/localhost";
  auth.credentials.identity.emplace(u"user", u"BENCH", u"bench-password");
  sealed_binding->SetAuthInfo(auth);

  std::vector<uint8_t> reply;
  std::vector<Row> rows;
  const int rounds = quick ? 3 : 7;
  for (size_t size : {size_t{64}, size_t{1024}}) {
    std::vector<uint8_t> data(size, 0x5a);
    auto plain_op = [&] { plain.RoundTrip(data, reply); };
    auto [rpc, tcp] = Compare(
        rounds, small_iters / rounds, [&] { plain_binding->Call(kBenchInterface, 0, data); },
        plain_op);
    rows.push_back({"call " + std::to_string(size) + " B", rpc, tcp, size});
    auto [sealed, tcp2] = Compare(
        rounds, small_iters / rounds, [&] { sealed_binding->Call(kBenchInterface, 0, data); },
        plain_op);
    rows.push_back({"call " + std::to_string(size) + " B sealed (NTLM)", sealed, tcp2, size});
  }
  {
    std::vector<uint8_t> data(16u << 20, 0xa5);
    auto plain_op = [&] { plain.RoundTrip(data, reply); };
    auto [rpc, tcp] = Compare(
        bulk_iters, 1, [&] { plain_binding->Call(kBenchInterface, 0, data); }, plain_op);
    rows.push_back({"call 16 MiB each way", rpc, tcp, data.size()});
    auto [sealed, tcp2] = Compare(
        std::max(2, bulk_iters / 2), 1, [&] { sealed_binding->Call(kBenchInterface, 0, data); },
        plain_op);
    rows.push_back({"call 16 MiB each way sealed (NTLM)", sealed, tcp2, data.size()});
  }
  std::printf("loopback, one client thread, one server thread; best of %d alternating rounds\n",
              rounds);
  for (const auto& r : rows) Print(r);
  server.Stop();
  std::remove(accounts.c_str());
  return 0;
}
