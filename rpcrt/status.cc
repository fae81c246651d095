#include "rpcrt/status.h"

namespace rpcrt {

RpcError::RpcError(Status status, const std::string& detail)
    : std::runtime_error("RPC status " + std::to_string(status) + ": " + detail), status_(status) {}

}  // namespace rpcrt
