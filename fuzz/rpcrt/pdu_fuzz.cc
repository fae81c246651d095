// Any fragment: decoded, and what decodes re-encodes and decodes to the same type.
#include <cstdlib>

#include "fuzz/refusal.h"
#include "rpcrt/pdu/pdu.h"
#include "rpcrt/pdu/protected_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> input(data, size);
  fuzz::Refused([&] { rpcrt::LocateProtectedPdu(input); });
  rpcrt::Pdu pdu;
  if (fuzz::Refused([&] { pdu = rpcrt::DecodePdu(input); })) return 0;
  std::vector<uint8_t> again;
  // Re-padding may push a full-size fragment past 65535 bytes; nothing else may fail.
  if (fuzz::Refused([&] { again = rpcrt::EncodePdu(pdu); })) return 0;
  if (rpcrt::DecodePdu(again).type() != pdu.type()) std::abort();
  return 0;
}
