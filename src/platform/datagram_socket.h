// A UDP socket that sends datagrams to IPv4 endpoints and never waits: a datagram that
// cannot leave at once is dropped.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

inline constexpr uint32_t kNoIpv4Address = 0xFFFFFFFFu;  // INADDR_NONE

struct Ipv4Endpoint {
  uint32_t address = kNoIpv4Address;  // network byte order, as inet_addr gives it
  uint16_t port = 0;                  // host byte order
};

// The dotted-quad text as inet_addr reads it; kNoIpv4Address when it is no address.
uint32_t ParseIpv4Address(const char* text);

class DatagramSocket {
 public:
  DatagramSocket() = default;
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;
  ~DatagramSocket();

  // Creates the socket (not inherited by child processes); false when the system has none.
  bool Open() noexcept;
  bool is_open() const { return handle_ != kNone; }
  // Best effort: failures are ignored.
  void SendTo(const Ipv4Endpoint& to, std::string_view data) noexcept;

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
};

}  // namespace platform
