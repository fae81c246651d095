// Process-wide, time-bounded memory of realms whose KDC could not be found or reached, so
// that one slow look-up (DNS, a KDC that never answers) is paid once for all the connections
// of a realm instead of once per connection.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <string>

#include "rpcrt/base/mutex.h"

namespace rpcrt::security {

class RealmReachability {
 public:
  using Clock = std::chrono::steady_clock;

  // A verdict is kept for `ttl`; a waiter gives up waiting for another thread's attempt after
  // `max_wait` and tries for itself.
  explicit RealmReachability(Clock::duration ttl,
                             Clock::duration max_wait = std::chrono::seconds(60));

  // The instance the Kerberos client uses: verdicts are kept for one minute.
  static RealmReachability& Process();

  // One attempt to reach a realm's KDC. While the realm's state is unknown, the first attempt
  // probes and concurrent ones wait for its verdict; skip() says the realm is known to be
  // unreachable. Reached() or Unreachable() records the verdict; an attempt destroyed with
  // neither (it failed for another reason) leaves the realm unknown.
  class Attempt {
   public:
    Attempt(RealmReachability& owner, std::string realm);
    ~Attempt();
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;
    bool skip() const { return skip_; }
    void Reached() { Finish(Verdict::kReachable); }
    void Unreachable() { Finish(Verdict::kUnreachable); }

   private:
    enum class Verdict { kNone, kReachable, kUnreachable };
    void Finish(Verdict verdict);
    RealmReachability& owner_;
    std::string realm_;
    bool probing_ = false;
    bool skip_ = false;
    bool finished_ = false;
  };

 private:
  struct State {
    bool probing = false;
    bool unreachable = false;
    Clock::time_point until{};  // the verdict above holds until then
  };

  const Clock::duration ttl_;
  const Clock::duration max_wait_;
  base::Mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, State> realms_ GUARDED_BY(mutex_);
};

}  // namespace rpcrt::security
