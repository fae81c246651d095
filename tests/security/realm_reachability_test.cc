// The memory of realms without a reachable KDC: one probe at a time per realm, its verdict
// shared for a while, and the stall of a KDC that never answers paid once.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/kerberos/realm_reachability.h"
#include "rpcrt/status.h"

namespace {

using namespace std::chrono_literals;
using rpcrt::security::RealmReachability;
using Attempt = RealmReachability::Attempt;

TEST(RealmReachabilityTest, VerdictsAreSharedUntilTheyExpire) {
  RealmReachability memory(300ms);
  {
    Attempt first(memory, "A.TEST");
    EXPECT_FALSE(first.skip());
    first.Unreachable();
  }
  EXPECT_TRUE(Attempt(memory, "A.TEST").skip());
  EXPECT_FALSE(Attempt(memory, "B.TEST").skip()) << "realms are remembered apart";
  {
    Attempt reached(memory, "B.TEST");
    reached.Reached();
  }
  EXPECT_FALSE(Attempt(memory, "B.TEST").skip());
  // An attempt that failed for another reason leaves no verdict behind.
  { Attempt undecided(memory, "C.TEST"); }
  EXPECT_FALSE(Attempt(memory, "C.TEST").skip());
  std::this_thread::sleep_for(350ms);
  EXPECT_FALSE(Attempt(memory, "A.TEST").skip()) << "the verdict has expired";
}

TEST(RealmReachabilityTest, ConcurrentAttemptsWaitForTheProbe) {
  RealmReachability memory(10s);
  auto probe = std::make_unique<Attempt>(memory, "SLOW.TEST");
  std::atomic<int> skipped = 0;
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] { skipped += Attempt(memory, "SLOW.TEST").skip() ? 1 : 0; });
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(skipped, 0) << "nobody decided before the probe";
  probe->Unreachable();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(skipped, 4);

  // A waiter does not wait for ever on a probe that hangs.
  RealmReachability impatient(10s, 100ms);
  Attempt hung(impatient, "HUNG.TEST");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Attempt(impatient, "HUNG.TEST").skip());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// A KDC address that swallows every request: a UDP socket on loopback nobody reads.
class SilentKdc {
 public:
  SilentKdc() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.18", &a.sin_addr);
    socklen_t len = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("no silent KDC socket");
    port_ = ntohs(a.sin_port);
  }
  ~SilentKdc() { close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(RealmReachabilityTest, ASilentKdcStallsOnlyTheFirstConnection) {
  SilentKdc kdc;
  const std::string conf = ::testing::TempDir() + "silent-krb5.conf";
  std::ofstream(conf) << "[libdefaults]\n default_realm = SILENT.TEST\n dns_lookup_kdc = false\n"
                      << "[realms]\n SILENT.TEST = {\n  kdc = 127.0.0.18:" << kdc.port()
                      << "\n }\n";
  setenv("KRB5_CONFIG", conf.c_str(), 1);
  auto acquire = [](const char16_t* user) {
    rpcrt::security::ClientCredentials c{
        rpcrt::security::Identity(user, u"SILENT.TEST", u"Secret-1")};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(rpcrt::security::AcquireKerberosCredential(c),
                 rpcrt::security::KerberosUnavailable);
    return std::chrono::steady_clock::now() - start;
  };
  std::vector<std::thread> threads;
  std::atomic<int> fast = 0;
  threads.emplace_back([&] { EXPECT_GT(acquire(u"alice"), 500ms) << "the stall is real"; });
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      std::this_thread::sleep_for(200ms);  // while the first one waits for the KDC
      acquire(u"bob");
    });
  }
  for (auto& t : threads) t.join();
  // Later connections, of any user of the realm, do not ask again.
  for (int i = 0; i < 5; ++i) fast += acquire(u"carol") < 100ms ? 1 : 0;
  EXPECT_EQ(fast, 5);
  unsetenv("KRB5_CONFIG");
}

}  // namespace
