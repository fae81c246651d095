#include "server/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace zelqa::server {
namespace {

// Owns one descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  ~Fd() { Close(); }
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd read;
  Fd write;
};

bool MakePipe(Pipe& p) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  p.read.Reset(fds[0]);
  p.write.Reset(fds[1]);
  return true;
}

// Owns one of posix_spawn's attribute objects from its init to its destroy.
template <class T, int (*Init)(T*), int (*Destroy)(T*)>
class SpawnObject {
 public:
  SpawnObject() { Init(&object_); }
  ~SpawnObject() { Destroy(&object_); }
  SpawnObject(const SpawnObject&) = delete;
  SpawnObject& operator=(const SpawnObject&) = delete;
  T* get() { return &object_; }

 private:
  T object_;
};

using SpawnActions = SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init,
                                 posix_spawn_file_actions_destroy>;
using SpawnAttributes =
    SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

std::vector<char*> CStrings(const std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (const auto& s : strings) result.push_back(const_cast<char*>(s.c_str()));
  result.push_back(nullptr);
  return result;
}

// Appends what the pipe has to `to`, keeping at most `keep` bytes of it in total; false at end
// of stream. Bytes beyond `keep` are read and dropped, so the child never blocks on a full pipe.
bool Drain(int fd, std::string& to, size_t keep, size_t& total) {
  std::array<char, 16384> buffer;
  const ssize_t n = ::read(fd, buffer.data(), buffer.size());
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  total += static_cast<size_t>(n);
  if (to.size() < keep)
    to.append(buffer.data(), std::min(static_cast<size_t>(n), keep - to.size()));
  return true;
}

}  // namespace

ChildResult ChildGroup::Run(const std::vector<std::string>& argv,
                            const std::vector<std::string>& env, const ChildLimits& limits) {
  ChildResult result;
  if (argv.empty()) {
    result.error = "no command";
    return result;
  }
  // Standard input is a pipe nobody writes to: the child reads end of file at once, without
  // depending on /dev/null being there.
  Pipe in, out, err;
  if (!MakePipe(in) || !MakePipe(out) || !MakePipe(err)) {
    result.error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return result;
  }

  SpawnActions actions;
  in.write.Close();
  posix_spawn_file_actions_adddup2(actions.get(), in.read.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), out.write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), err.write.get(), STDERR_FILENO);
  SpawnAttributes attr;
  // The server blocks its stop signals in every thread; the child starts with none blocked
  // and default dispositions, in a process group of its own.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(attr.get(), &none);
  posix_spawnattr_setsigdefault(attr.get(), &defaults);
  posix_spawnattr_setpgroup(attr.get(), 0);
  posix_spawnattr_setflags(attr.get(),
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> c_argv = CStrings(argv);
  std::vector<char*> c_env = CStrings(env);
  pid_t pid = -1;
  const int rc =
      ::posix_spawnp(&pid, argv[0].c_str(), actions.get(), attr.get(), c_argv.data(), c_env.data());
  in.read.Close();
  out.write.Close();
  err.write.Close();
  if (rc != 0) {
    result.error = "cannot run '" + argv[0] + "': " + std::strerror(rc);
    return result;
  }
  const bool cancelled_early = !Track(pid);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limits.timeout_ms);
  std::array<pollfd, 2> fds{pollfd{out.read.get(), POLLIN, 0}, pollfd{err.read.get(), POLLIN, 0}};
  size_t out_total = 0, err_total = 0;
  std::optional<ChildResult::End> killed_for;
  while (!cancelled_early && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      killed_for = ChildResult::End::kTimedOut;
      break;
    }
    for (auto& p : fds) p.revents = 0;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) {
      killed_for = ChildResult::End::kCancelled;
      result.error = std::string("poll: ") + std::strerror(errno);
      break;
    }
    if (fds[0].revents != 0 && !Drain(fds[0].fd, result.out, limits.max_output + 1, out_total))
      fds[0].fd = -1;
    if (fds[1].revents != 0 && !Drain(fds[1].fd, result.err, limits.max_output, err_total))
      fds[1].fd = -1;
    if (out_total > limits.max_output) {
      killed_for = ChildResult::End::kTooMuchOutput;
      break;
    }
  }
  // Before the child is reaped its pid, and so its process group, cannot be anyone else's.
  if (killed_for) ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const bool cancelled = !Untrack(pid) || cancelled_early;

  if (killed_for) {
    result.end = *killed_for;
    result.out.clear();
  } else if (cancelled && WIFSIGNALED(status)) {
    result.end = ChildResult::End::kCancelled;
  } else if (WIFSIGNALED(status)) {
    result.end = ChildResult::End::kSignaled;
    result.exit_code = WTERMSIG(status);
  } else {
    result.end = ChildResult::End::kExited;
    result.exit_code = WEXITSTATUS(status);
  }
  return result;
}

void ChildGroup::CancelAll() {
  rpcrt::base::MutexLock lock(mutex_);
  cancelled_ = true;
  // Tracked children are not reaped yet, so each pid is still the child's own.
  for (pid_t pid : running_) ::kill(-pid, SIGKILL);
}

bool ChildGroup::Track(pid_t pid) {
  rpcrt::base::MutexLock lock(mutex_);
  running_.insert(pid);
  if (cancelled_) ::kill(-pid, SIGKILL);
  return !cancelled_;
}

// False when the group was cancelled while the child ran.
bool ChildGroup::Untrack(pid_t pid) {
  rpcrt::base::MutexLock lock(mutex_);
  running_.erase(pid);
  return !cancelled_;
}

}  // namespace zelqa::server
