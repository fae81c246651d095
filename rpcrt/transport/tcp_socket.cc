#include "rpcrt/transport/tcp_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace rpcrt::transport {
namespace {

std::string ErrnoText(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

// The longest a receive blocks in one go. Receives whose deadline is more than two slices
// away block in the receive; the others poll, bounded by the deadline to the millisecond.
// An idle connection wakes its thread once a slice, which costs nothing worth counting.
constexpr int kWaitSliceMs = 4000;

void SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) < 0)
    throw TransportError(TransportError::Kind::kIo, ErrnoText("fcntl", errno));
}

// Receives block, each for at most one slice; everything else says MSG_DONTWAIT.
void UseTimedReceive(int fd) {
  SetBlocking(fd, true);
  const timeval slice{kWaitSliceMs / 1000, kWaitSliceMs % 1000 * 1000};
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) != 0)
    throw TransportError(TransportError::Kind::kIo, ErrnoText("setsockopt", errno));
}

// Waits until fd is ready for events; false when the deadline passed first.
bool WaitFor(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int rc = ::poll(&p, 1, deadline.PollTimeout());
    if (rc > 0) return true;
    if (rc == 0) {
      if (deadline.Expired()) return false;
      continue;
    }
    if (errno != EINTR) throw TransportError(TransportError::Kind::kIo, ErrnoText("poll", errno));
  }
}

struct AddrInfoDeleter {
  void operator()(addrinfo* ai) const { freeaddrinfo(ai); }
};

bool IsResetErrno(int err) {
  return err == ECONNRESET || err == EPIPE || err == ENOTCONN || err == ESHUTDOWN ||
         err == ECONNABORTED;
}

// A failed send or recv: a reset peer closed the connection, anything else is an I/O error.
[[noreturn]] void ThrowSocketError(const char* operation, int err) {
  if (IsResetErrno(err))
    throw TransportError(TransportError::Kind::kClosed, ErrnoText(operation, err));
  throw TransportError(TransportError::Kind::kIo, ErrnoText(operation, err));
}

}  // namespace

TcpSocket::TcpSocket(int fd) : fd_(fd) {
  if (fd_ >= 0) {
    UseTimedReceive(fd_);
    int one = 1;
    // Fragments are written whole; Nagle would only add a round trip of delay between them.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TcpSocket::~TcpSocket() {
  Close();
}

void TcpSocket::Close() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TcpSocket::Shutdown() noexcept {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void TcpSocket::ShutdownWrite() noexcept {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void TcpSocket::Abort() noexcept {
  if (fd_ >= 0) {
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
  }
}

TcpSocket TcpSocket::Connect(const std::string& host, uint16_t port, Deadline deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  addrinfo* raw = nullptr;
  std::string service = std::to_string(port);
  // A null node resolves to the loopback addresses: the local machine.
  int rc = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &raw);
  if (rc == EAI_ADDRFAMILY || rc == EAI_NONAME || rc == EAI_FAMILY) {
    // AI_ADDRCONFIG hides ::1 on hosts whose only IPv6 address is the loopback one.
    hints.ai_flags = AI_NUMERICSERV;
    rc = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &raw);
  }
  if (rc != 0) {
    throw TransportError(TransportError::Kind::kResolve,
                         "cannot resolve '" + host + "': " + gai_strerror(rc));
  }
  std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);

  std::string last_error = "no address";
  bool timed_out = false;
  for (addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      last_error = ErrnoText("socket", errno);
      continue;
    }
    TcpSocket sock(fd);
    // The connect itself waits in a poll bounded by the deadline.
    SetBlocking(fd, false);
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
      UseTimedReceive(fd);
      return sock;
    }
    if (errno != EINPROGRESS) {
      last_error = ErrnoText("connect", errno);
      continue;
    }
    if (!WaitFor(fd, POLLOUT, deadline)) {
      timed_out = true;
      last_error = "connect timed out";
      break;
    }
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err == 0) {
      UseTimedReceive(fd);
      return sock;
    }
    last_error = ErrnoText("connect", err);
  }
  throw TransportError(timed_out ? TransportError::Kind::kTimedOut : TransportError::Kind::kConnect,
                       "cannot connect to '" + host + "' port " + service + ": " + last_error);
}

void TcpSocket::WriteAll(std::span<const uint8_t> data, Deadline deadline) {
  if (fd_ < 0) throw TransportError(TransportError::Kind::kClosed, "socket is closed");
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd_, POLLOUT, deadline))
        throw TransportError(TransportError::Kind::kTimedOut, "send timed out");
      continue;
    }
    ThrowSocketError("send", errno);
  }
}

void TcpSocket::ReadExact(std::span<uint8_t> data, Deadline deadline) {
  if (fd_ < 0) throw TransportError(TransportError::Kind::kClosed, "socket is closed");
  size_t done = 0;
  while (done < data.size()) done += ReadSome(data.subspan(done), deadline);
}

size_t TcpSocket::ReadSome(std::span<uint8_t> data, Deadline deadline) {
  if (fd_ < 0) throw TransportError(TransportError::Kind::kClosed, "socket is closed");
  if (data.empty()) return 0;
  for (;;) {
    // Bytes already there are taken either way; when there are none, the blocking receive
    // sleeps until they come, one system call where the poll would take three.
    const int left_ms = deadline.PollTimeout();
    const bool block = left_ms < 0 || left_ms > 2 * kWaitSliceMs;
    ssize_t n = ::recv(fd_, data.data(), data.size(), block ? 0 : MSG_DONTWAIT);
    if (n > 0) return static_cast<size_t>(n);
    if (n == 0) throw TransportError(TransportError::Kind::kClosed, "connection closed by peer");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (block) continue;  // a slice passed: the deadline is looked at again
      if (!WaitFor(fd_, POLLIN, deadline))
        throw TransportError(TransportError::Kind::kTimedOut, "receive timed out");
      continue;
    }
    ThrowSocketError("recv", errno);
  }
}

bool TcpSocket::IsStale() const {
  if (fd_ < 0) return true;
  // Asked before every call on a kept connection: a peek that does not wait is the cheapest
  // question the kernel answers.
  uint8_t byte;
  const ssize_t n = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
  // Readable while idle: either the peer closed (EOF, reset) or it sent something unasked
  // (a shutdown PDU); neither connection can be trusted with the next call.
  return true;
}

}  // namespace rpcrt::transport
