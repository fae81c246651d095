// Kerberos sealing throughput (seal on one side, unseal on the other, as a request travels)
// in MB/s, against a plain memcpy of the same bytes measured in the same run; and the time
// to establish a context when each connection gets its own tickets, against connections that
// share their binding's. Starts a throw-away KDC with scripts/kdc.sh; without one it says so
// and exits cleanly.
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using Clock = std::chrono::steady_clock;

// The KDC for the length of the run, torn down however main ends.
class Kdc {
 public:
  Kdc() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelqa-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    const std::string start = std::string("'") + ZELQA_KDC_SCRIPT + "' start '" + dir_ + "'";
    const int rc = std::system(start.c_str());
    if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) != 0) return;
    std::ifstream env(dir_ + "/env");
    for (std::string line; std::getline(env, line);) {
      const size_t eq = line.find('=');
      if (line.rfind("export ", 0) != 0 || eq == std::string::npos) continue;
      setenv(line.substr(7, eq - 7).c_str(), line.substr(eq + 1).c_str(), 1);
    }
    up_ = true;
  }
  ~Kdc() {
    if (dir_.empty()) return;
    std::system((std::string("'") + ZELQA_KDC_SCRIPT + "' stop '" + dir_ + "'").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  bool up() const { return up_; }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name);
    std::string s;
    std::getline(in, s);
    return s;
  }
  std::string dir() const { return dir_; }

 private:
  std::string dir_;
  bool up_ = false;
};

void Establish(Mechanism& client, Mechanism& server) {
  std::vector<uint8_t> a, b;
  client.Step({}, a);
  server.Step(a, b);
  client.Step(b, a);
  server.Step(a, b);
}

// Seconds per round of `fn`, over enough rounds to last about `budget` seconds.
template <typename F>
double TimePerRound(F fn, double budget = 0.5) {
  size_t rounds = 1;
  for (;;) {
    const auto start = Clock::now();
    for (size_t i = 0; i < rounds; ++i) fn();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (elapsed >= budget) return elapsed / static_cast<double>(rounds);
    rounds *= 2;
  }
}

}  // namespace

int main() {
  Kdc kdc;
  if (!kdc.up()) {
    std::printf(
        "kerberos seal benchmark skipped: the throw-away KDC did not start "
        "(krb5-kdc and krb5-admin-server installed?)\n");
    return 0;
  }
  try {
    const std::string pw = kdc.Read("alice.password");
    ClientCredentials creds{
        Identity(u"alice", u"ZELQA.TEST", std::u16string(pw.begin(), pw.end()))};
    ServerCredentials server_creds;
    server_creds.keytab = kdc.dir() + "/zelqa.keytab";
    auto client = CreateKerberosInitiator(AcquireKerberosCredential(creds), u"zelqa/localhost");
    auto server = CreateKerberosAcceptor(server_creds);
    Establish(*client, *server);

    std::printf("%10s %14s %14s %10s\n", "bytes", "seal+unseal", "memcpy", "ratio");
    for (size_t size : {size_t{256}, size_t{4096}, size_t{65536}, size_t{1} << 20}) {
      std::vector<uint8_t> header(16, 1), body(size, 0x5a), trailer(8, 2), copy(size);
      std::vector<uint8_t> signature(client->SignatureSize(size));
      IoBuffer buffers[] = {{IoBuffer::Kind::kSignOnly, header},
                            {IoBuffer::Kind::kData, body},
                            {IoBuffer::Kind::kSignOnly, trailer}};
      const double sealed = TimePerRound([&] {
        client->Seal(buffers, signature);
        server->Unseal(buffers, signature);
      });
      const double copied = TimePerRound([&] {
        std::memcpy(copy.data(), body.data(), size);
        asm volatile("" : : "r"(copy.data()) : "memory");
      });
      const double mb = static_cast<double>(size) / 1e6;
      std::printf("%10zu %10.1f MB/s %10.1f MB/s %9.4fx\n", size, mb / sealed, mb / copied,
                  copied / sealed);
    }

    // A connection: credentials as its binding holds them, then the three legs.
    auto connect = [&](const ClientCredentials& credentials) {
      auto c = CreateKerberosInitiator(AcquireKerberosCredential(credentials), u"zelqa/localhost");
      auto s = CreateKerberosAcceptor(server_creds);
      Establish(*c, *s);
    };
    const double fresh = TimePerRound([&] { connect(ClientCredentials{*creds.identity}); });
    const double shared = TimePerRound([&] { connect(creds); });
    std::printf("\nconnect: own tickets %.0f us, binding's tickets reused %.0f us, ratio %.2fx\n",
                fresh * 1e6, shared * 1e6, fresh / shared);
  } catch (const rpcrt::RpcError& e) {
    std::fprintf(stderr, "kerberos seal benchmark failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
