// Whole connection-oriented fragments over a TCP stream.
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

// Reads one fragment: the common header, checked, then exactly frag_length - 16 more bytes.
// A malformed header throws RpcError(kProtocolError); the stream failing throws
// TransportError.
Fragment ReadFragment(TcpSocket& socket, Deadline deadline);

}  // namespace rpcrt::transport
