#include "rpcrt/security/kerberos/realm_reachability.h"

namespace rpcrt::security {

RealmReachability::RealmReachability(Clock::duration ttl, Clock::duration max_wait)
    : ttl_(ttl), max_wait_(max_wait) {}

RealmReachability& RealmReachability::Process() {
  // Never destroyed: connections may still be made while the process exits.
  static auto* instance = new RealmReachability(std::chrono::minutes(1));
  return *instance;
}

RealmReachability::Attempt::Attempt(RealmReachability& owner, std::string realm)
    : owner_(owner), realm_(std::move(realm)) {
  base::MutexLock lock(owner_.mutex_);
  const auto give_up = Clock::now() + owner_.max_wait_;
  for (;;) {
    State& state = owner_.realms_[realm_];
    const auto now = Clock::now();
    if (now < state.until) {
      skip_ = state.unreachable;
      return;
    }
    if (!state.probing || now >= give_up) {
      if (!state.probing) probing_ = state.probing = true;
      return;
    }
    owner_.changed_.wait_until(lock.native(), give_up);
  }
}

RealmReachability::Attempt::~Attempt() {
  Finish(Verdict::kNone);
}

void RealmReachability::Attempt::Finish(Verdict verdict) {
  if (finished_ || skip_) return;
  finished_ = true;
  {
    base::MutexLock lock(owner_.mutex_);
    State& state = owner_.realms_[realm_];
    if (probing_) state.probing = false;
    if (verdict != Verdict::kNone) {
      state.unreachable = verdict == Verdict::kUnreachable;
      state.until = Clock::now() + owner_.ttl_;
    }
  }
  if (probing_) owner_.changed_.notify_all();
}

}  // namespace rpcrt::security
