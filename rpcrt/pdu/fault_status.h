// Status codes carried by fault PDUs (DCE nca_s_* values and the Win32 codes Windows sends),
// and their mapping onto the run time's status values.
#pragma once

#include <cstdint>

#include "rpcrt/status.h"

namespace rpcrt {

inline constexpr uint32_t kNcaCommFailure = 0x1c010001;
inline constexpr uint32_t kNcaOpRangeError = 0x1c010002;
inline constexpr uint32_t kNcaUnknownIf = 0x1c010003;
inline constexpr uint32_t kNcaWrongBootTime = 0x1c010006;
inline constexpr uint32_t kNcaYouCrashed = 0x1c010009;
inline constexpr uint32_t kNcaProtoError = 0x1c01000b;
inline constexpr uint32_t kNcaOutArgsTooBig = 0x1c010013;
inline constexpr uint32_t kNcaServerTooBusy = 0x1c010014;
inline constexpr uint32_t kNcaUnsupportedType = 0x1c010017;
inline constexpr uint32_t kNcaFaultIntDivByZero = 0x1c000001;
inline constexpr uint32_t kNcaFaultAddrError = 0x1c000002;
inline constexpr uint32_t kNcaFaultRemoteNoMemory = 0x1c00001b;
inline constexpr uint32_t kNcaFaultContextMismatch = 0x1c00001a;
inline constexpr uint32_t kNcaFaultCancel = 0x1c00000d;
inline constexpr uint32_t kNcaFaultUnspec = 0x1c000012;
inline constexpr uint32_t kNcaFaultNdr = 0x000006f7;
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

// The status a caller sees for a fault carrying `fault_status`, as Windows maps it: the nca_s_*
// codes map onto their RPC_S_* equivalents (RPC_S_CALL_FAILED for those without one), anything
// else (already a Win32 code) passes through.
Status FaultStatusToStatus(uint32_t fault_status);

// The fault status a server sends for a run-time status.
uint32_t StatusToFaultStatus(Status status);

}  // namespace rpcrt
