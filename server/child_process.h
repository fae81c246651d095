// Runs a command as a child process, without a shell, and collects what it writes, within a
// time limit and an output limit. The child leads its own process group, so that a limit
// ends everything it started; it is always reaped before RunChild returns.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "rpcrt/base/mutex.h"

namespace zelqa::server {

struct ChildLimits {
  uint32_t timeout_ms = 30000;
  size_t max_output = size_t{1} << 20;  // bytes of standard output; standard error is cut there
};

struct ChildResult {
  enum class End {
    kExited,         // exit_code holds its status
    kSignaled,       // killed by signal exit_code from outside
    kTimedOut,       // ran past the time limit and was killed
    kTooMuchOutput,  // wrote more than max_output bytes to standard output and was killed
    kCancelled,      // killed by ChildGroup::CancelAll
    kNotStarted,     // could not be run at all; error says why
  };
  End end = End::kNotStarted;
  int exit_code = 0;
  std::string out;  // standard output (all of it when kExited)
  std::string err;  // standard error, at most max_output bytes
  std::string error;
};

// The children running at one time, so that a stopping server can end them all.
class ChildGroup {
 public:
  // Runs argv[0] (looked up on PATH) with argv, the environment `env` ("NAME=value"), an empty
  // standard input, the current directory. Blocks until the child is done.
  ChildResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const ChildLimits& limits);

  // Kills every running child's process group; children started afterwards are killed at once.
  void CancelAll();

 private:
  // Both false when the group was cancelled (Track has then killed the child already).
  bool Track(pid_t pid);
  bool Untrack(pid_t pid);

  rpcrt::base::Mutex mutex_;
  std::set<pid_t> running_ GUARDED_BY(mutex_);
  bool cancelled_ GUARDED_BY(mutex_) = false;
};

}  // namespace zelqa::server
