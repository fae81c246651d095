// Which status a failed call raises: the one table of the client.
//
// Every way a call can fail is named by a CallFailure, and each maps to the status the
// Windows run time reports for it, so that the retry logic above us classifies our failures
// exactly as it would classify Windows' ones. Fault PDUs carry either a Win32 status, which
// passes through unchanged, or an NCA status, which is translated here.
#pragma once

#include <cstdint>
#include <string_view>

#include "rpcrt/pdu/fault_status.h"
#include "rpcrt/status.h"

namespace rpcrt::client {

enum class CallFailure {
  kServerUnreachable,  // no address, connect refused or timed out, association not set up
  kConnectionLost,     // the stream broke after (part of) the request went out
  kNotExecuted,        // the stream broke before any of the request went out
  kProtocolError,      // the server sent a PDU that breaks the protocol
  kBadStubData,        // the reply's stub cannot be read
  kCallTimeout,        // no fragment of the reply came within the call time-out
  kUnknownInterface,   // the server rejected the interface (abstract syntax)
  kTransferSyntaxRejected,
  kBadSignature,          // a protected PDU failed verification
  kProtectionDowngraded,  // a reply came without protection, or weaker, once auth was on
  kAuthRejected,          // the server refused our credentials during the bind
  kUnsupportedAuthnLevel,
};

struct FailureEntry {
  CallFailure failure;
  Status status;
};

inline constexpr FailureEntry kFailureTable[] = {
    {CallFailure::kServerUnreachable, kServerUnavailable},
    {CallFailure::kConnectionLost, kCallFailed},
    {CallFailure::kNotExecuted, kCallFailedDne},
    {CallFailure::kProtocolError, kProtocolError},
    {CallFailure::kBadStubData, kBadStubData},
    {CallFailure::kCallTimeout, kCallCancelled},
    {CallFailure::kUnknownInterface, kUnknownIf},
    {CallFailure::kTransferSyntaxRejected, kUnsupportedTransSyn},
    {CallFailure::kBadSignature, kSecPkgError},
    {CallFailure::kProtectionDowngraded, kErrorAccessDenied},
    {CallFailure::kAuthRejected, kErrorAccessDenied},
    {CallFailure::kUnsupportedAuthnLevel, kUnsupportedAuthnLevel},
};

constexpr Status StatusFor(CallFailure failure) {
  for (const auto& e : kFailureTable)
    if (e.failure == failure) return e.status;
  return kCallFailed;
}

// Short English name of a failure, for error details.
std::string_view Describe(CallFailure failure);

}  // namespace rpcrt::client
