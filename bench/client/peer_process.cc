#include "bench/client/peer_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace bench {

void PinThisThread(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  if (sched_setaffinity(0, sizeof set, &set) != 0)
    throw std::runtime_error("cannot bind to CPU " + std::to_string(cpu));
}

PeerProcess::PeerProcess(const std::vector<std::string>& argv, int cpu,
                         const std::string& stderr_path,
                         const std::vector<std::string>& environment) {
  // Everything the child needs is prepared here: between fork and exec only system calls.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
  env_strings.insert(env_strings.end(), environment.begin(), environment.end());
  std::vector<char*> env;
  for (auto& e : env_strings) env.push_back(e.data());
  env.push_back(nullptr);
  cpu_set_t set;
  CPU_ZERO(&set);
  if (cpu >= 0) CPU_SET(cpu, &set);
  int err_fd = -1;
  if (!stderr_path.empty()) {
    err_fd = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (err_fd < 0) throw std::runtime_error("cannot open " + stderr_path);
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    if (cpu >= 0) sched_setaffinity(0, sizeof set, &set);
    dup2(out[1], STDOUT_FILENO);
    if (err_fd >= 0) dup2(err_fd, STDERR_FILENO);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  ::close(out[1]);
  if (err_fd >= 0) ::close(err_fd);
  if (pid_ < 0) {
    ::close(out[0]);
    throw std::runtime_error("fork failed");
  }
  // The announcement comes once the child serves; its later output is not read.
  FILE* in = fdopen(out[0], "r");
  char line[256];
  while (port_ == 0 && in != nullptr && std::fgets(line, sizeof line, in) != nullptr) {
    if (const char* p = std::strstr(line, "port "))
      port_ = static_cast<uint16_t>(std::strtoul(p + 5, nullptr, 10));
  }
  if (in != nullptr) std::fclose(in);
  if (port_ == 0) {
    Stop();
    throw std::runtime_error(argv[0] + " did not announce a port");
  }
}

PeerProcess::~PeerProcess() {
  Stop();
}

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace bench
