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

// The status a caller sees for a fault carrying `fault_status`: the nca_s_* codes map onto
// their RPC_S_* equivalents, anything else (already a Win32 code) passes through.
Status FaultStatusToStatus(uint32_t fault_status);

// The fault status a server sends for a run-time status.
uint32_t StatusToFaultStatus(Status status);

}  // namespace rpcrt
