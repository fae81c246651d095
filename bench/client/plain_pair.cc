#include "bench/client/plain_pair.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace bench {
namespace {

void ReadAll(int fd, uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      throw std::runtime_error("plain pair: receive failed");
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      throw std::runtime_error("plain pair: send failed");
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void NoDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// Answers each message with as many bytes as its length word asks for.
void Echo(int fd) {
  std::vector<uint8_t> buf;
  try {
    for (;;) {
      uint32_t sizes[2];  // request length, reply length
      ReadAll(fd, reinterpret_cast<uint8_t*>(sizes), sizeof sizes);
      buf.resize(std::max(sizes[0], sizes[1]));
      ReadAll(fd, buf.data(), sizes[0]);
      WriteAll(fd, buf.data(), sizes[1]);
    }
  } catch (const std::exception&) {
  }
  ::close(fd);
}

}  // namespace

void RunPlainEchoServer() {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof a;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener, 1024) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("plain echo server: cannot listen");
  std::printf("listening on 127.0.0.1 port %u\n", ntohs(a.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    NoDelay(fd);
    std::thread(Echo, fd).detach();
  }
}

PlainPair::PlainPair(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  const sockaddr_in a = Loopback(port);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("plain pair: cannot connect");
  NoDelay(fd_);
}

PlainPair::~PlainPair() {
  if (fd_ >= 0) ::close(fd_);
}

void PlainPair::RoundTrip(const std::vector<uint8_t>& request, uint32_t reply_size) {
  // One send, as the RPC side writes a whole message in one go; gathered, not copied.
  uint32_t sizes[2] = {static_cast<uint32_t>(request.size()), reply_size};
  iovec parts[2] = {{sizes, sizeof sizes}, {const_cast<uint8_t*>(request.data()), request.size()}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  size_t left = sizeof sizes + request.size();
  while (left > 0) {
    const ssize_t n = ::sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      throw std::runtime_error("plain pair: send failed");
    }
    left -= static_cast<size_t>(n);
    // Skips what went out; a short send happens only for large messages.
    for (size_t done = static_cast<size_t>(n); done > 0;) {
      const size_t step = std::min(done, message.msg_iov->iov_len);
      message.msg_iov->iov_base = static_cast<uint8_t*>(message.msg_iov->iov_base) + step;
      message.msg_iov->iov_len -= step;
      done -= step;
      if (message.msg_iov->iov_len == 0 && message.msg_iovlen > 1) {
        ++message.msg_iov;
        --message.msg_iovlen;
      }
    }
  }
  in_.resize(reply_size);
  ReadAll(fd_, in_.data(), in_.size());
}

}  // namespace bench
