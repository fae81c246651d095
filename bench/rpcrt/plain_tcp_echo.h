// The baseline of the loopback benchmarks: a plain TCP request/response of the same bytes,
// with no RPC, no marshalling and no security. The server echoes each message; the client
// writes and reads each message in one go, as the RPC side does.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <thread>
#include <vector>

#include "rpcrt/server/transport/tcp_listener.h"

namespace bench {

using rpcrt::transport::Deadline;
using rpcrt::transport::TcpListener;
using rpcrt::transport::TcpSocket;

// A plain TCP echo: 4-byte length, then the bytes; answered with the same.
class PlainEchoServer {
 public:
  PlainEchoServer() : listener_("127.0.0.1", 0) {
    thread_ = std::jthread([this] {
      while (auto s = listener_.Accept()) {
        try {
          std::vector<uint8_t> buf;
          for (;;) {
            uint8_t len[4];
            s->ReadExact(len, Deadline::Never());
            uint32_t n;
            std::memcpy(&n, len, 4);
            buf.resize(4 + size_t{n});
            std::memcpy(buf.data(), len, 4);
            s->ReadExact(std::span<uint8_t>(buf).subspan(4), Deadline::Never());
            s->WriteAll(buf, Deadline::Never());
          }
        } catch (const std::exception&) {
        }
      }
    });
  }
  ~PlainEchoServer() { listener_.Interrupt(); }
  uint16_t port() const { return listener_.port(); }

 private:
  TcpListener listener_;
  std::jthread thread_;
};

class PlainClient {
 public:
  explicit PlainClient(uint16_t port)
      : socket_(TcpSocket::Connect("127.0.0.1", port, Deadline::AfterMs(5000))) {}
  // One write each way, as the RPC side writes a whole message in one go too.
  void RoundTrip(const std::vector<uint8_t>& data, std::vector<uint8_t>& reply) {
    uint32_t n = static_cast<uint32_t>(data.size());
    out_.resize(4 + data.size());
    std::memcpy(out_.data(), &n, 4);
    std::memcpy(out_.data() + 4, data.data(), data.size());
    socket_.WriteAll(out_, Deadline::Never());
    reply.resize(4 + data.size());
    socket_.ReadExact(reply, Deadline::Never());
  }

 private:
  TcpSocket socket_;
  std::vector<uint8_t> out_;
};

}  // namespace bench
