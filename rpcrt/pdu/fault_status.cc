#include "rpcrt/pdu/fault_status.h"

namespace rpcrt {

namespace {

struct Mapping {
  uint32_t fault;
  Status status;
};

// What a caller sees for each fault status with a run-time counterpart.
constexpr Mapping kReceived[] = {
    {kNcaCommFailure, kCommFailure},
    {kNcaOpRangeError, kProcnumOutOfRange},
    {kNcaUnknownIf, kUnknownIf},
    {kNcaWrongBootTime, kCallFailed},
    {kNcaYouCrashed, kCallFailed},
    {kNcaProtoError, kProtocolError},
    {kNcaOutArgsTooBig, kErrorOutOfMemory},
    {kNcaServerTooBusy, kServerTooBusy},
    {kNcaUnsupportedType, kUnsupportedType},
    {kNcaFaultIntDivByZero, kZeroDivide},
    {kNcaFaultAddrError, kAddressError},
    {kNcaFaultFpDivByZero, kFpDivZero},
    {kNcaFaultFpUnderflow, kFpUnderflow},
    {kNcaFaultFpOverflow, kFpOverflow},
    {kNcaFaultInvalidTag, kInvalidTag},
    {kNcaFaultInvalidBound, kInvalidBound},
    {kNcaFaultCancel, kCallCancelled},
    {kNcaFaultIllInstruction, kCallFailed},
    {kNcaFaultFpError, kFpOverflow},
    {kNcaFaultIntOverflow, kCallFailed},
    {kNcaFaultUnspec, kCallFailed},
    {kNcaFaultPipeEmpty, kPipeEmpty},
    {kNcaFaultContextMismatch, kErrorInvalidHandle},
    {kNcaFaultRemoteNoMemory, kErrorOutOfMemory},
    {kNcaInvalidPresContextId, kUnknownIf},
    {kNcaUnsupportedAuthnLevel, kUnsupportedAuthnLevel},
    {kNcaInvalidChecksum, kSecPkgError},
    {kNcaInvalidCrc, kSecPkgError},
};

// The fault status a server sends for the run-time statuses that have an NCA code.
constexpr Mapping kSent[] = {
    {kNcaCommFailure, kCallFailed},
    {kNcaOpRangeError, kProcnumOutOfRange},
    {kNcaUnknownIf, kUnknownIf},
    {kNcaProtoError, kProtocolError},
    {kNcaServerTooBusy, kServerTooBusy},
    {kNcaFaultRemoteNoMemory, kErrorOutOfMemory},
    {kNcaFaultCancel, kCallCancelled},
    {kNcaFaultNdr, kBadStubData},
    {kNcaFaultContextMismatch, kErrorInvalidHandle},
};

}  // namespace

Status FaultStatusToStatus(uint32_t fault_status) {
  for (const auto& m : kReceived) {
    if (m.fault == fault_status) return m.status;
  }
  // Other NCA codes have no Win32 counterpart the caller could act on.
  const uint32_t facility = fault_status & 0xffff0000u;
  if (facility == 0x1c000000u || facility == 0x1c010000u) return kCallFailed;
  return fault_status;  // a Win32 status: passes through
}

uint32_t StatusToFaultStatus(Status status) {
  for (const auto& m : kSent) {
    if (m.status == status) return m.fault;
  }
  return status;
}

}  // namespace rpcrt
