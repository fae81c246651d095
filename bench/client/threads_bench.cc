// Many host threads on few connections, and what an idle connection costs in memory.
//
// 32 threads share 16 connections made through the exports to zelqa-rpc-server in another
// process (two threads a connection, NTLM at packet privacy, small calls), against 32 threads
// on 16 plain TCP ping-pong pairs of the same bytes (two threads a pair, taking turns); calls
// per second of each, in one run. Then 1 000 connections are made and left idle: the resident
// set of this process and of the server, before and after.
//
//   client_threads_bench [--seconds S] [--connections N]
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/client/peer_process.h"
#include "bench/client/plain_pair.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "server/do_rpc_service.h"
#include "zelqa/zelqa_rpc_client.h"

namespace {

constexpr int kThreads = 32;
constexpr int kConnections = 16;

// Resident set of a process in KiB, from /proc/PID/status.
long ResidentKib(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      return value;
    }
    in.ignore(1 << 12, '\n');
  }
  return -1;
}

// TCP connections in state established (01) to `port` here, from /proc/net/tcp.
size_t Established(uint16_t port) {
  std::ifstream in("/proc/net/tcp");
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  std::string line, slot, local, remote, state;
  size_t n = 0;
  std::getline(in, line);  // the column names
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    fields >> slot >> local >> remote >> state;
    if (state == "01" && remote.size() > 5 && remote.compare(remote.size() - 5, 5, wanted) == 0)
      ++n;
  }
  return n;
}

zelqa_char_t* Connect(uint16_t port) {
  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = nullptr;
  if (RpcConnect(u"127.0.0.1", port, u"BENCH\\user", u"bench-password", u"bench", &id, &error) !=
      ZELQA_S_OK) {
    LibStrFree(error);
    throw std::runtime_error("RpcConnect failed");
  }
  return id;
}

void Disconnect(zelqa_char_t* id) {
  zelqa_char_t* error = nullptr;
  RpcDisconnect(id, &error);
  LibStrFree(error);
  LibStrFree(id);
}

// Calls per second of `kThreads` threads each running `call(thread)` for `seconds`.
template <typename Call>
double CallsPerSecond(double seconds, Call call) {
  std::atomic<bool> stop{false};
  std::atomic<long> total{0};
  std::vector<std::thread> threads;
  const auto start = std::chrono::steady_clock::now();
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      long n = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        call(t);
        ++n;
      }
      total += n;
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& th : threads) th.join();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return static_cast<double>(total.load()) / elapsed;
}

std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " " + five;
}

void RaiseFileLimit(rlim_t wanted) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--echo") bench::RunPlainEchoServer();
  double seconds = 3;
  int idle_connections = 1000;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] == "--seconds") seconds = std::stod(args[i + 1]);
    if (args[i] == "--connections") idle_connections = std::stoi(args[i + 1]);
  }
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
  const std::string self_path = self;
  const std::string server_path =
      self_path.substr(0, self_path.rfind('/')) + "/../../server/zelqa-rpc-server";
  char accounts[] = "/tmp/client-threads-bench-XXXXXX";
  const int fd = mkstemp(accounts);
  if (fd < 0) return 1;
  close(fd);
  std::ofstream(accounts) << "BENCH:user:bench-password\n";
  const std::string log = std::string(accounts) + ".log";
  // Both sides hold a descriptor per connection; the server inherits the raised limit.
  RaiseFileLimit(static_cast<rlim_t>(idle_connections) + 256);
  try {
    const std::string max = std::to_string(idle_connections + 64);
    // The scheduler places every thread here: two CPUs, many threads.
    bench::PeerProcess server({server_path, "--listen", "127.0.0.1:0", "--accounts", accounts,
                               "--no-epm", "--max-connections", max},
                              -1, log);
    bench::PeerProcess echo({self_path, "--echo"}, -1);

    const std::u16string r1(8, u'a'), r2(8, u'b');
    std::vector<zelqa_char_t*> ids;
    for (int c = 0; c < kConnections; ++c) ids.push_back(Connect(server.port()));
    rpcrt::NdrWriter writer;
    writer.WriteWideString(r1);
    writer.WriteWideString(r2);
    const std::vector<uint8_t> request = writer.Take();
    const auto reply_size =
        static_cast<uint32_t>(zelqa::server::EncodeDoRpcReply({true, r1 + r2, {}}).size());
    std::vector<std::unique_ptr<bench::PlainPair>> pairs;
    std::vector<std::mutex> pair_locks(kConnections);
    for (int c = 0; c < kConnections; ++c)
      pairs.push_back(std::make_unique<bench::PlainPair>(echo.port()));

    const double rpc = CallsPerSecond(seconds, [&](int t) {
      zelqa_char_t* answer = nullptr;
      zelqa_char_t* error = nullptr;
      if (DoRpcCall(ids[t % kConnections], r1.c_str(), r2.c_str(), &answer, &error) != ZELQA_S_OK)
        LibStrFree(error);
      LibStrFree(answer);
    });
    const double tcp = CallsPerSecond(seconds, [&](int t) {
      std::lock_guard lock(pair_locks[t % kConnections]);
      pairs[t % kConnections]->RoundTrip(request, reply_size);
    });
    std::printf(
        "%d threads over %d connections, 2 x 8 chars: %.0f calls/s; over %d plain TCP pairs: "
        "%.0f/s; ratio %.2f (load %s)\n",
        kThreads, kConnections, rpc, kConnections, tcp, tcp / rpc, Load().c_str());
    for (auto* id : ids) Disconnect(id);

    const std::string server_pid = std::to_string(server.pid());
    const long client_before = ResidentKib("self"), server_before = ResidentKib(server_pid);
    std::vector<zelqa_char_t*> idle;
    // Each connection carries one call, as a host's does before it falls idle.
    for (int c = 0; c < idle_connections; ++c) {
      idle.push_back(Connect(server.port()));
      zelqa_char_t* answer = nullptr;
      zelqa_char_t* error = nullptr;
      if (DoRpcCall(idle.back(), r1.c_str(), r2.c_str(), &answer, &error) != ZELQA_S_OK)
        throw std::runtime_error("DoRpcCall failed on an idle connection");
      LibStrFree(answer);
    }
    std::printf("established to the server: %zu\n", Established(server.port()));
    const long client_after = ResidentKib("self"), server_after = ResidentKib(server_pid);
    std::printf(
        "%d idle connections: client VmRSS %ld -> %ld KiB (%.1f KiB each), server %ld -> %ld "
        "KiB (%.1f KiB each)\n",
        idle_connections, client_before, client_after,
        static_cast<double>(client_after - client_before) / idle_connections, server_before,
        server_after, static_cast<double>(server_after - server_before) / idle_connections);
    for (auto* id : idle) Disconnect(id);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "client_threads_bench: %s\n", e.what());
  }
  std::remove(log.c_str());
  std::remove(accounts);
  return 0;
}
