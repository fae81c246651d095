// A connected TCP stream with deadline-bounded reads and writes.
//
// No call blocks longer than its caller's Deadline allows. Sends, and receives near their
// deadline, do not block in the kernel (MSG_DONTWAIT) and wait in a poll() bounded by the
// deadline; a receive whose deadline is far off blocks in the receive itself, for at most the
// socket's receive time-out at a time, which spares the poll and a second receive per reply.
// Failures are TransportErrors that say what happened to the stream, not which RPC status it
// becomes: that choice belongs to the caller, which knows how far the call had got.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "rpcrt/transport/deadline.h"

namespace rpcrt::transport {

class TransportError : public std::runtime_error {
 public:
  enum class Kind {
    kResolve,   // the host name has no address
    kConnect,   // no address accepted the connection
    kTimedOut,  // the deadline passed
    kClosed,    // the peer closed or reset the stream
    kIo,        // any other socket failure
  };
  TransportError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

class TcpSocket {
 public:
  TcpSocket() = default;
  // Takes ownership of a connected descriptor and sets its receive time-out.
  explicit TcpSocket(int fd);
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket();

  // Resolves host (a name, an IPv4 or IPv6 literal; empty for the local machine) and connects
  // to the first address that accepts, all within the deadline.
  static TcpSocket Connect(const std::string& host, uint16_t port, Deadline deadline);

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  void WriteAll(std::span<const uint8_t> data, Deadline deadline);
  void ReadExact(std::span<uint8_t> data, Deadline deadline);
  // Reads what is available, at least one byte, at most data.size(); returns the count.
  size_t ReadSome(std::span<uint8_t> data, Deadline deadline);

  // True when the peer has closed (or reset) the stream or unread bytes wait on an idle
  // connection: either way it cannot carry a new call. Never blocks.
  bool IsStale() const;

  // Wakes any thread blocked on this socket (it sees kClosed); the descriptor stays owned.
  void Shutdown() noexcept;
  // Ends our direction only: the peer reads end of stream, we can still read its answer.
  void ShutdownWrite() noexcept;
  // Closes with a reset instead of an orderly release.
  void Abort() noexcept;
  void Close() noexcept;

 private:
  int fd_ = -1;
};

}  // namespace rpcrt::transport
