// The stand-in for the external log collector on Winsock. It lives apart from the shared test
// header because the system's socket declarations cannot share a scope with the platform's own
// Windows types.
#include "tests/logging/test_support.h"

#include "platform/win/windows_api.h"

namespace logtest {

collector_t::collector_t() {
  win32::WSADATA data;
  win32::WSAStartup(0x0202, &data);  // version 2.2
  const win32::SOCKET s = win32::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  fd_ = static_cast<intptr_t>(s);
  win32::sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = win32::htonl(INADDR_LOOPBACK);
  win32::bind(s, reinterpret_cast<win32::sockaddr*>(&addr), sizeof addr);
  int len = sizeof addr;
  win32::getsockname(s, reinterpret_cast<win32::sockaddr*>(&addr), &len);
  port_ = win32::ntohs(addr.sin_port);
}

collector_t::~collector_t() {
  win32::closesocket(static_cast<win32::SOCKET>(fd_));
  win32::WSACleanup();
}

std::optional<std::string> collector_t::receive(int ms) {
  win32::WSAPOLLFD p{static_cast<win32::SOCKET>(fd_), POLLRDNORM, 0};
  if (win32::WSAPoll(&p, 1, ms) != 1) return std::nullopt;
  char buf[65536];
  const int got = win32::recv(static_cast<win32::SOCKET>(fd_), buf, sizeof buf, 0);
  if (got < 0) return std::nullopt;
  return std::string(buf, static_cast<size_t>(got));
}

}  // namespace logtest
