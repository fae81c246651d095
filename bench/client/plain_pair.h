// The floor of the loopback benchmarks: plain TCP request/response pairs carrying the same
// bytes as the calls they are compared with, with no RPC, no marshalling and no security.
// Both ends use blocking sockets, one send and one receive per message where the kernel
// allows, so the floor is what the wire costs and nothing more.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// Serves echo connections on 127.0.0.1 (a thread each) after printing "port N"; runs until
// the process is killed.
[[noreturn]] void RunPlainEchoServer();

// One connection to the echo server. A message is a 4-byte length and that many bytes; the
// server answers with `reply_size` bytes (the length word says how many).
class PlainPair {
 public:
  explicit PlainPair(uint16_t port);
  PlainPair(const PlainPair&) = delete;
  PlainPair& operator=(const PlainPair&) = delete;
  ~PlainPair();

  // Sends `request` and waits for a reply of `reply_size` bytes.
  void RoundTrip(const std::vector<uint8_t>& request, uint32_t reply_size);

 private:
  int fd_ = -1;
  std::vector<uint8_t> in_;
};

}  // namespace bench
