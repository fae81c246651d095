#include "rpcrt/transport/fragment_stream.h"

namespace rpcrt::transport {

Fragment ReadFragment(TcpSocket& socket, Deadline deadline) {
  Fragment f;
  f.bytes.resize(kCommonHeaderSize);
  socket.ReadExact(f.bytes, deadline);
  f.header = DecodeCommonHeader(f.bytes);
  // frag_length is 16 bits, so one fragment never asks for more than 64 KiB.
  f.bytes.resize(f.header.frag_length);
  socket.ReadExact(std::span<uint8_t>(f.bytes).subspan(kCommonHeaderSize), deadline);
  return f;
}

}  // namespace rpcrt::transport
