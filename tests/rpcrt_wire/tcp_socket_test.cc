// The stream under every call: a receive waits as long as its deadline allows and no longer,
// whether it waits in the receive itself (a far deadline) or in a poll (a near one), and a
// kept connection is judged stale exactly when it cannot carry the next call.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "rpcrt/server/transport/tcp_listener.h"

namespace rpcrt::transport {
namespace {

using Clock = std::chrono::steady_clock;

struct Pair {
  TcpListener listener{"127.0.0.1", 0};
  TcpSocket client = TcpSocket::Connect("127.0.0.1", listener.port(), Deadline::AfterMs(5000));
  TcpSocket server = std::move(*listener.Accept());
};

// How a one-byte receive ends: the kind of error it raises, or nullopt when a byte came.
std::optional<TransportError::Kind> ReceiveFailure(TcpSocket& socket, Deadline deadline) {
  uint8_t byte;
  try {
    socket.ReadSome({&byte, 1}, deadline);
  } catch (const TransportError& e) {
    return e.kind();
  }
  return std::nullopt;
}

TEST(TcpSocket, ReceiveWaitsForLateBytesWithAnyDeadline) {
  for (Deadline deadline : {Deadline::Never(), Deadline::AfterMs(60000), Deadline::AfterMs(2000)}) {
    Pair p;
    std::jthread late([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const uint8_t bytes[3] = {1, 2, 3};
      p.server.WriteAll(bytes, Deadline::AfterMs(1000));
    });
    uint8_t got[3] = {};
    p.client.ReadExact(got, deadline);
    EXPECT_EQ(got[2], 3);
  }
}

TEST(TcpSocket, NearDeadlineEndsTheWaitOnTime) {
  Pair p;
  const auto start = Clock::now();
  EXPECT_EQ(ReceiveFailure(p.client, Deadline::AfterMs(100)), TransportError::Kind::kTimedOut);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST(TcpSocket, ShutdownWakesAReceiveBlockedWithoutDeadline) {
  Pair p;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    p.client.Shutdown();
  });
  EXPECT_EQ(ReceiveFailure(p.client, Deadline::Never()), TransportError::Kind::kClosed);
}

TEST(TcpSocket, StaleWhenThePeerClosedOrSpokeUnasked) {
  {
    Pair p;
    EXPECT_FALSE(p.client.IsStale());
    const uint8_t unasked = 0x0c;
    p.server.WriteAll({&unasked, 1}, Deadline::AfterMs(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(p.client.IsStale());
    // Judging it consumed nothing: the byte is still there to read.
    uint8_t got = 0;
    p.client.ReadExact({&got, 1}, Deadline::AfterMs(1000));
    EXPECT_EQ(got, unasked);
  }
  {
    Pair p;
    p.server.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(p.client.IsStale());
  }
  EXPECT_TRUE(TcpSocket().IsStale());
}

}  // namespace
}  // namespace rpcrt::transport
