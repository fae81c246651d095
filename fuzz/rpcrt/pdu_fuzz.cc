// Any fragment: decoded, and what decodes re-encodes and decodes to the same type.
#include <cstdlib>

#include "rpcrt/pdu/pdu.h"
#include "rpcrt/pdu/protected_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> input(data, size);
  try {
    rpcrt::LocateProtectedPdu(input);
  } catch (const rpcrt::RpcError&) {
  }
  rpcrt::Pdu pdu;
  try {
    pdu = rpcrt::DecodePdu(input);
  } catch (const rpcrt::RpcError&) {
    return 0;
  }
  std::vector<uint8_t> again;
  try {
    again = rpcrt::EncodePdu(pdu);
  } catch (const rpcrt::RpcError&) {
    // Re-padding may push a full-size fragment past 65535 bytes; nothing else may fail.
    return 0;
  }
  if (rpcrt::DecodePdu(again).type() != pdu.type()) std::abort();
  return 0;
}
