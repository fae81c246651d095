#include "rpcrt/server/transport/tcp_listener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace rpcrt::transport {
namespace {

uint16_t PortOf(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
  if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
}

void SetPort(sockaddr* sa, uint16_t port) {
  if (sa->sa_family == AF_INET)
    reinterpret_cast<sockaddr_in*>(sa)->sin_port = htons(port);
  else
    reinterpret_cast<sockaddr_in6*>(sa)->sin6_port = htons(port);
}

}  // namespace

TcpListener::TcpListener(const std::string& address, uint16_t port) : port_(port) {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0)
    throw TransportError(TransportError::Kind::kIo,
                         std::string("eventfd: ") + std::strerror(errno));

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* raw = nullptr;
  int rc = ::getaddrinfo(address.empty() ? nullptr : address.c_str(), "0", &hints, &raw);
  if (rc != 0) {
    ::close(wake_fd_);
    throw TransportError(TransportError::Kind::kResolve,
                         "cannot resolve listen address '" + address + "': " + gai_strerror(rc));
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(raw, freeaddrinfo);

  std::string last_error = "no address";
  for (addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
      last_error = std::string("socket: ") + std::strerror(errno);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Each family gets its own socket, so the IPv6 one must not claim IPv4 too.
    if (ai->ai_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    SetPort(ai->ai_addr, port_);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
      last_error = std::string("bind/listen: ") + std::strerror(errno);
      ::close(fd);
      continue;
    }
    if (port_ == 0) port_ = PortOf(fd);
    fds_.push_back(fd);
  }
  if (fds_.empty()) {
    ::close(wake_fd_);
    throw TransportError(TransportError::Kind::kIo, "cannot listen on '" + address + "' port " +
                                                        std::to_string(port) + ": " + last_error);
  }
}

TcpListener::~TcpListener() {
  for (int fd : fds_) ::close(fd);
  ::close(wake_fd_);
}

void TcpListener::Interrupt() noexcept {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
}

std::optional<TcpSocket> TcpListener::Accept() {
  std::vector<pollfd> polls;
  polls.push_back({wake_fd_, POLLIN, 0});
  for (int fd : fds_) polls.push_back({fd, POLLIN, 0});
  for (;;) {
    for (auto& p : polls) p.revents = 0;
    int rc = ::poll(polls.data(), polls.size(), -1);
    if (rc < 0) {
      if (errno == EINTR) continue;
      throw TransportError(TransportError::Kind::kIo, std::string("poll: ") + std::strerror(errno));
    }
    if (polls[0].revents != 0) return std::nullopt;
    for (size_t i = 1; i < polls.size(); ++i) {
      if (polls[i].revents == 0) continue;
      int fd = ::accept4(polls[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) return TcpSocket(fd);
      // A client that gave up between poll and accept, or a transient shortage: keep serving.
      if (errno == EAGAIN || errno == ECONNABORTED || errno == EINTR || errno == EMFILE ||
          errno == ENFILE || errno == ENOBUFS || errno == ENOMEM || errno == EPROTO)
        continue;
      throw TransportError(TransportError::Kind::kIo,
                           std::string("accept: ") + std::strerror(errno));
    }
  }
}

}  // namespace rpcrt::transport
