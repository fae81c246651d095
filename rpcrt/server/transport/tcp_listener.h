// Listening TCP sockets on one port, IPv4 and IPv6, with an accept that another thread can
// interrupt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rpcrt/transport/tcp_socket.h"

namespace rpcrt::transport {

class TcpListener {
 public:
  // Listens on address ("127.0.0.1", "::1", a host name; empty for every local address of
  // both families) and port (0 picks a free port, the same one for both families).
  // Throws TransportError when nothing could be bound.
  TcpListener(const std::string& address, uint16_t port);
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;
  ~TcpListener();

  uint16_t port() const { return port_; }

  // Waits for the next connection; nullopt once Interrupt() was called.
  std::optional<TcpSocket> Accept();

  // Makes the current and every later Accept() return nullopt. Safe from any thread.
  void Interrupt() noexcept;

 private:
  std::vector<int> fds_;
  int wake_fd_ = -1;  // an eventfd
  uint16_t port_ = 0;
};

}  // namespace rpcrt::transport
