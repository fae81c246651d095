// What a sealed DoRpc costs a host against what the wire costs: DoRpcCall through the exports
// to zelqa-rpc-server in another process (NTLM at packet privacy, the server logging each
// call), against a plain TCP request/response pair carrying the same bytes, with client and
// server bound to the same CPU and then to different CPUs, the plain pair placed alike.
// Calls and the plain pair take turns round by round; the best round of each counts.
//
// For each placement: the small call (2 x 8 characters) through the exports and on the run
// time alone, and a table by size with the crypto bound (the RC4 and HMAC-MD5 passes of a
// sealed call, timed here).
//
//   client_bench [--quick] [--server PATH]     the tables
//   client_bench --calls N [--size BYTES]      N calls (2 x 8 characters unless BYTES of text),
//                                              same CPU, to count with strace or valgrind
//   client_bench --echo                        (internal) the plain pair's server
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/client/crypto_bound.h"
#include "bench/client/peer_process.h"
#include "bench/client/plain_pair.h"
#include "rpc/do_rpc_stub.h"
#include "rpc/proxy_rpc_invoker.h"
#include "rpc/rpc_binding.h"
#include "rpcrt/ndr/ndr_writer.h"
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
    LibStrFree(error);
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
// own, and the DoRpc client stub on it.
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

// The stubs that go over the wire for a call: what the plain pair carries instead.
struct CallBytes {
  std::vector<uint8_t> request;
  uint32_t reply_size;
};

CallBytes BytesOf(const std::u16string& r1, const std::u16string& r2) {
  rpcrt::NdrWriter writer;
  writer.WriteWideString(r1);
  writer.WriteWideString(r2);
  const auto reply = zelqa::server::EncodeDoRpcReply({true, r1 + r2, {}});
  return {writer.Take(), static_cast<uint32_t>(reply.size())};
}

std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " " + five;
}

std::string SizeName(size_t bytes) {
  if (bytes >= (1u << 20)) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1u << 10)) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " B";
}

struct Setup {
  std::string server_path;
  std::string self_path;
  std::string accounts;
  std::string server_log;
};

// The reference server and the plain pair's server, both on `server_cpu`; this thread (and
// the library threads it starts) on CPU 0.
struct Peers {
  Peers(const Setup& s, int server_cpu)
      : server({s.server_path, "--listen", "127.0.0.1:0", "--accounts", s.accounts, "--no-epm"},
               server_cpu, s.server_log),
        echo({s.self_path, "--echo"}, server_cpu) {
    bench::PinThisThread(0);
  }
  bench::PeerProcess server;
  bench::PeerProcess echo;
};

void RunPlacement(const Setup& setup, int server_cpu, bool quick) {
  const int rounds = quick ? 3 : 7;
  Peers peers(setup, server_cpu);
  ExportsConnection exports(peers.server.port());
  DirectConnection direct(peers.server.port());
  bench::PlainPair plain(peers.echo.port());

  std::printf("\nclient on CPU 0, server on CPU %d (load %s)\n", server_cpu, Load().c_str());
  {
    const std::u16string r1(8, u'a'), r2(8, u'b');
    const CallBytes bytes = BytesOf(r1, r2);
    const auto t = Race(rounds, quick ? 500 : 3000,
                        {[&] { exports.Call(r1, r2); }, [&] { direct.Call(r1, r2); },
                         [&] { plain.RoundTrip(bytes.request, bytes.reply_size); }});
    std::printf(
        "small call 2 x 8 chars: exports %.1f us, run time alone %.1f us, tcp %.1f us; "
        "exports/tcp %.2f (target <= 1.30), direct/tcp %.2f\n",
        t[0] * 1e6, t[1] * 1e6, t[2] * 1e6, t[0] / t[2], t[1] / t[2]);
  }
  std::printf("%-8s %12s %12s %12s %9s %18s\n", "request", "call us", "tcp us", "crypto us",
              "call/tcp", "call/(tcp+crypto)");
  for (size_t size :
       {size_t{16}, size_t{1} << 10, size_t{64} << 10, size_t{1} << 20, size_t{16} << 20}) {
    // The size counts both requests' text: two strings of size / 4 UTF-16 characters.
    const std::u16string r1(size / 4, u'a'), r2(size / 4, u'b');
    const CallBytes bytes = BytesOf(r1, r2);
    const int iterations = static_cast<int>(std::clamp<size_t>((8u << 20) / size, 1, 2000));
    const int size_rounds = size >= (1u << 20) ? 3 : rounds;
    bench::CryptoBound crypto(bytes.request.size(), bytes.reply_size);
    // The crypto passes take their turns with the calls, under the same load.
    const auto t =
        Race(size_rounds, quick ? std::max(1, iterations / 4) : iterations,
             {[&] { exports.Call(r1, r2); },
              [&] { plain.RoundTrip(bytes.request, bytes.reply_size); }, [&] { crypto.Run(); }});
    std::printf("%-8s %12.1f %12.1f %12.1f %9.2f %18.2f\n", SizeName(size).c_str(), t[0] * 1e6,
                t[1] * 1e6, t[2] * 1e6, t[0] / t[1], t[0] / (t[1] + t[2]));
  }
}

// Small calls only, for counting what one call costs with external tools. The server's
// last line of standard error (after its call lines: what a preloaded counter printed at its
// exit) is copied to ours.
void RunCalls(const Setup& setup, long calls, size_t size) {
  {
    Peers peers(setup, 0);
    ExportsConnection exports(peers.server.port());
    const std::u16string r1(size / 4, u'a'), r2(size / 4, u'b');
    for (long i = 0; i < calls; ++i) exports.Call(r1, r2);
  }
  std::ifstream log(setup.server_log);
  std::string line, last;
  while (std::getline(log, line)) last = line;
  std::fprintf(stderr, "server: %s\n", last.c_str());
}

std::string DefaultServerPath(const std::string& self) {
  // Beside this program in the build tree: bench/client/ -> server/.
  const auto slash = self.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
  return dir + "/../../server/zelqa-rpc-server";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--echo") bench::RunPlainEchoServer();
  Setup setup;
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
  setup.self_path = self;
  setup.server_path = DefaultServerPath(setup.self_path);
  bool quick = false;
  long calls = -1;
  size_t size = 32;  // 2 x 8 characters
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quick") {
      quick = true;
    } else if (args[i] == "--server" && i + 1 < args.size()) {
      setup.server_path = args[++i];
    } else if (args[i] == "--calls" && i + 1 < args.size()) {
      calls = std::stol(args[++i]);
    } else if (args[i] == "--size" && i + 1 < args.size()) {
      size = std::stoul(args[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: client_bench [--quick] [--server PATH] [--calls N [--size BYTES]]\n");
      return 2;
    }
  }
  char accounts[] = "/tmp/client-bench-XXXXXX";
  const int fd = mkstemp(accounts);
  if (fd < 0) return 1;
  close(fd);
  std::ofstream(accounts) << "BENCH:user:bench-password\n";
  setup.accounts = accounts;
  // The server's per-call log lines go to a file, as an operator would keep them.
  setup.server_log = setup.accounts + ".log";
  try {
    if (calls >= 0) {
      RunCalls(setup, calls, size);
    } else {
      std::printf(
          "DoRpcCall through the exports to zelqa-rpc-server (NTLM, packet privacy, call log "
          "on) against plain TCP of the same bytes; one client thread; best of alternating "
          "rounds\n");
      RunPlacement(setup, 0, quick);
      RunPlacement(setup, 1, quick);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "client_bench: %s\n", e.what());
  }
  std::remove(setup.server_log.c_str());
  std::remove(accounts);
  return 0;
}
