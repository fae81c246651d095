#include "rpcrt/pdu/fault_status.h"

namespace rpcrt {

namespace {

struct Mapping {
  uint32_t fault;
  Status status;
};

// Pairs in both directions; the first match wins.
constexpr Mapping kMappings[] = {
    {kNcaCommFailure, kCallFailed},      {kNcaOpRangeError, kProcnumOutOfRange},
    {kNcaUnknownIf, kUnknownIf},         {kNcaProtoError, kProtocolError},
    {kNcaServerTooBusy, kServerTooBusy}, {kNcaFaultRemoteNoMemory, kErrorOutOfMemory},
    {kNcaFaultCancel, kCallCancelled},   {kNcaFaultUnspec, kCallFailed},
    {kNcaFaultNdr, kBadStubData},        {kNcaFaultContextMismatch, kErrorInvalidHandle},
};

}  // namespace

Status FaultStatusToStatus(uint32_t fault_status) {
  for (const auto& m : kMappings) {
    if (m.fault == fault_status) return m.status;
  }
  return fault_status;
}

uint32_t StatusToFaultStatus(Status status) {
  for (const auto& m : kMappings) {
    if (m.status == status) return m.fault;
  }
  return status;
}

}  // namespace rpcrt
