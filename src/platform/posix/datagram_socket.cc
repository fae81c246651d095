#include "platform/datagram_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

uint32_t ParseIpv4Address(const char* text) {
  return ::inet_addr(text);
}

DatagramSocket::~DatagramSocket() {
  if (is_open()) ::close(static_cast<int>(handle_));
}

bool DatagramSocket::Open() noexcept {
  if (!is_open()) handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return is_open();
}

void DatagramSocket::SendTo(const Ipv4Endpoint& to, std::string_view data) noexcept {
  if (!is_open()) return;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = to.address;
  target.sin_port = htons(to.port);
  (void)::sendto(static_cast<int>(handle_), data.data(), data.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&target), sizeof target);
}

}  // namespace platform
