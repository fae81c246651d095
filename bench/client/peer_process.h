// Child processes of the benchmarks, each bound to one CPU: where two processes talk over
// loopback, their placement (one CPU or two) decides the ratio more than the code does, so
// the benchmark chooses it instead of the scheduler.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Binds the calling thread to one CPU.
void PinThisThread(int cpu);

// A program started on one CPU (any CPU for -1) that announces its port with a line ending in "port
// N" on standard output. Stopped with SIGTERM and reaped on destruction.
class PeerProcess {
 public:
  // `stderr_path` receives the child's standard error (empty: inherited). `environment`
  // entries ("NAME=value") are added to this process's environment for the child.
  PeerProcess(const std::vector<std::string>& argv, int cpu, const std::string& stderr_path = "",
              const std::vector<std::string>& environment = {});
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  ~PeerProcess();

  uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Stops the child and waits for it; later calls do nothing.
  void Stop();

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

}  // namespace bench
