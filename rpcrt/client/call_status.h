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
    {CallFailure::kServerUnreachable, kServerUnavailable},          // 1722
    {CallFailure::kConnectionLost, kCallFailed},                    // 1726
    {CallFailure::kNotExecuted, kCallFailedDne},                    // 1727
    {CallFailure::kProtocolError, kProtocolError},                  // 1728
    {CallFailure::kBadStubData, kBadStubData},                      // 1783
    {CallFailure::kCallTimeout, kCallCancelled},                    // 1818
    {CallFailure::kUnknownInterface, kUnknownIf},                   // 1717
    {CallFailure::kTransferSyntaxRejected, kUnsupportedTransSyn},   // 1730
    {CallFailure::kBadSignature, kSecPkgError},                     // 1825
    {CallFailure::kProtectionDowngraded, kErrorAccessDenied},       // 5
    {CallFailure::kAuthRejected, kErrorAccessDenied},               // 5
    {CallFailure::kUnsupportedAuthnLevel, kUnsupportedAuthnLevel},  // 1821
};

constexpr Status StatusFor(CallFailure failure) {
  for (const auto& e : kFailureTable)
    if (e.failure == failure) return e.status;
  return kCallFailed;
}

// NCA status codes that fault_status.h does not name.
inline constexpr uint32_t kNcaFaultFpDivByZero = 0x1c000003;
inline constexpr uint32_t kNcaFaultFpUnderflow = 0x1c000004;
inline constexpr uint32_t kNcaFaultFpOverflow = 0x1c000005;
inline constexpr uint32_t kNcaFaultInvalidTag = 0x1c000006;
inline constexpr uint32_t kNcaFaultInvalidBound = 0x1c000007;
inline constexpr uint32_t kNcaFaultIllInstruction = 0x1c00000e;
inline constexpr uint32_t kNcaFaultFpError = 0x1c00000f;
inline constexpr uint32_t kNcaFaultIntOverflow = 0x1c000010;
inline constexpr uint32_t kNcaFaultPipeEmpty = 0x1c000014;
inline constexpr uint32_t kNcaInvalidPresContextId = 0x1c00001c;
inline constexpr uint32_t kNcaUnsupportedAuthnLevel = 0x1c00001d;
inline constexpr uint32_t kNcaInvalidChecksum = 0x1c00001f;
inline constexpr uint32_t kNcaInvalidCrc = 0x1c000020;

struct FaultEntry {
  uint32_t nca;
  Status status;
};

inline constexpr FaultEntry kFaultTable[] = {
    {kNcaCommFailure, 1820},                              // RPC_S_COMM_FAILURE
    {kNcaOpRangeError, kProcnumOutOfRange},               // 1745
    {kNcaUnknownIf, kUnknownIf},                          // 1717
    {kNcaWrongBootTime, kCallFailed},                     // 1726
    {kNcaYouCrashed, kCallFailed},                        // 1726
    {kNcaProtoError, kProtocolError},                     // 1728
    {kNcaOutArgsTooBig, kErrorOutOfMemory},               // 14
    {kNcaServerTooBusy, kServerTooBusy},                  // 1723
    {kNcaUnsupportedType, 1732},                          // RPC_S_UNSUPPORTED_TYPE
    {kNcaFaultIntDivByZero, 1767},                        // RPC_S_ZERO_DIVIDE
    {kNcaFaultAddrError, 1768},                           // RPC_S_ADDRESS_ERROR
    {kNcaFaultFpDivByZero, 1769},                         // RPC_S_FP_DIV_ZERO
    {kNcaFaultFpUnderflow, 1770},                         // RPC_S_FP_UNDERFLOW
    {kNcaFaultFpOverflow, 1771},                          // RPC_S_FP_OVERFLOW
    {kNcaFaultInvalidTag, 1733},                          // RPC_S_INVALID_TAG
    {kNcaFaultInvalidBound, 1734},                        // RPC_S_INVALID_BOUND
    {kNcaFaultCancel, kCallCancelled},                    // 1818
    {kNcaFaultIllInstruction, kCallFailed},               // 1726
    {kNcaFaultFpError, 1771},                             // RPC_S_FP_OVERFLOW
    {kNcaFaultIntOverflow, kCallFailed},                  // 1726
    {kNcaFaultUnspec, kCallFailed},                       // 1726
    {kNcaFaultPipeEmpty, 1918},                           // RPC_X_PIPE_EMPTY
    {kNcaFaultContextMismatch, kErrorInvalidHandle},      // 6
    {kNcaFaultRemoteNoMemory, kErrorOutOfMemory},         // 14
    {kNcaInvalidPresContextId, kUnknownIf},               // 1717
    {kNcaUnsupportedAuthnLevel, kUnsupportedAuthnLevel},  // 1821
    {kNcaInvalidChecksum, kSecPkgError},                  // 1825
    {kNcaInvalidCrc, kSecPkgError},                       // 1825
};

// The status a call raises for a fault PDU's status field.
constexpr Status StatusFromFault(uint32_t fault_status) {
  for (const auto& e : kFaultTable)
    if (e.nca == fault_status) return e.status;
  // Other NCA codes have no Win32 counterpart the caller could act on.
  if ((fault_status & 0xffff0000u) == 0x1c000000u || (fault_status & 0xffff0000u) == 0x1c010000u)
    return kCallFailed;
  return fault_status;  // a Win32 status: passes through
}

// Short English name of a failure, for error details.
std::string_view Describe(CallFailure failure);

}  // namespace rpcrt::client
