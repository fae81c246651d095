#include "rpcrt/client/call_status.h"

namespace rpcrt::client {

std::string_view Describe(CallFailure failure) {
  switch (failure) {
    case CallFailure::kServerUnreachable:
      return "server unavailable";
    case CallFailure::kConnectionLost:
      return "connection lost during the call";
    case CallFailure::kNotExecuted:
      return "request could not be sent";
    case CallFailure::kProtocolError:
      return "protocol error";
    case CallFailure::kBadStubData:
      return "bad stub data";
    case CallFailure::kCallTimeout:
      return "call timed out";
    case CallFailure::kUnknownInterface:
      return "unknown interface";
    case CallFailure::kTransferSyntaxRejected:
      return "transfer syntax not supported";
    case CallFailure::kBadSignature:
      return "PDU failed verification";
    case CallFailure::kProtectionDowngraded:
      return "PDU protection below the agreed level";
    case CallFailure::kAuthRejected:
      return "authentication rejected";
    case CallFailure::kUnsupportedAuthnLevel:
      return "authentication level not supported";
  }
  return "call failed";
}

}  // namespace rpcrt::client
