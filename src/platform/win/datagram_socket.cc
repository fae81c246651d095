#include "platform/datagram_socket.h"

#include "platform/win/windows_api.h"

namespace platform {
namespace {

// The SDK spells these as macros over its own type names, which live in win32:: here.
constexpr win32::WORD kWinsock22 = 0x0202;                       // MAKEWORD(2, 2)
constexpr win32::SOCKET kInvalidSocket = ~win32::SOCKET{0};      // INVALID_SOCKET
constexpr long kNonBlockingIo = static_cast<long>(0x8004667Eu);  // FIONBIO

}  // namespace

uint32_t ParseIpv4Address(const char* text) {
  return win32::inet_addr(text);
}

DatagramSocket::~DatagramSocket() {
  if (!is_open()) return;
  win32::closesocket(static_cast<win32::SOCKET>(handle_));
  win32::WSACleanup();
}

bool DatagramSocket::Open() noexcept {
  if (is_open()) return true;
  // Each socket holds its own reference to the sockets library.
  win32::WSADATA data{};
  if (win32::WSAStartup(kWinsock22, &data) != 0) return false;
  const win32::SOCKET s =
      win32::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == kInvalidSocket) {
    win32::WSACleanup();
    return false;
  }
  // Non-blocking, so that a full send buffer drops the datagram instead of waiting.
  win32::u_long non_blocking = 1;
  win32::ioctlsocket(s, kNonBlockingIo, &non_blocking);
  handle_ = static_cast<intptr_t>(s);
  return true;
}

void DatagramSocket::SendTo(const Ipv4Endpoint& to, std::string_view data) noexcept {
  if (!is_open()) return;
  win32::sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = to.address;
  target.sin_port = win32::htons(to.port);
  (void)win32::sendto(static_cast<win32::SOCKET>(handle_), data.data(),
                      static_cast<int>(data.size()), 0,
                      reinterpret_cast<const win32::sockaddr*>(&target), sizeof target);
}

}  // namespace platform
