// Whole connection-oriented fragments over a TCP stream, in both directions.
//
// Reads are buffered: one receive takes whatever the stream holds, up to a large block, so a
// multi-fragment message costs a few system calls rather than two per fragment. Writes are
// gathered the same way by FragmentWriter.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "rpcrt/pdu/pdu_header.h"
#include "rpcrt/transport/tcp_socket.h"

namespace rpcrt::transport {

struct Fragment {
  CommonHeader header;
  std::vector<uint8_t> bytes;  // the whole fragment, header included
};

// One receive or send moves up to this much.
inline constexpr size_t kDefaultBlockSize = 256 * 1024;

class FragmentReader {
 public:
  // `block_size` is the most one receive asks for; the buffer grows beyond it only to hold
  // a whole fragment.
  explicit FragmentReader(TcpSocket& socket, size_t block_size = kDefaultBlockSize)
      : socket_(socket), block_size_(block_size) {}

  // Reads one fragment: the common header, checked, then exactly frag_length - 16 more bytes.
  // A malformed header throws RpcError(kProtocolError); the stream failing throws
  // TransportError.
  Fragment Next(Deadline deadline);
  // Waits until the next fragment has begun to arrive (a byte of it is buffered).
  void Await(Deadline deadline) { Fill(1, deadline); }
  // Takes effect with the next receive; a larger block costs memory but fewer system calls.
  void set_block_size(size_t block_size) { block_size_ = block_size; }

  // Bytes received but not yet handed out (the peer spoke ahead of us).
  bool HasBuffered() const { return begin_ != end_; }

 private:
  void Fill(size_t wanted, Deadline deadline);

  TcpSocket& socket_;
  size_t block_size_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};

// Gathers encoded fragments and writes them in large blocks.
class FragmentWriter {
 public:
  explicit FragmentWriter(TcpSocket& socket) : socket_(socket) {}
  void Add(std::span<const uint8_t> fragment, Deadline deadline);
  // The same, taking the bytes over: a message of one fragment is written as it was encoded.
  void Add(std::vector<uint8_t>&& fragment, Deadline deadline);
  void Flush(Deadline deadline);

 private:
  TcpSocket& socket_;
  std::vector<uint8_t> pending_;
};

}  // namespace rpcrt::transport
