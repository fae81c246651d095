// Stub data read the ways the DoRpc client and the endpoint mapper read it. The first octet
// picks the data representation.
#include "fuzz/refusal.h"
#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/ndr/ndr_reader.h"

using fuzz::Refused;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  rpcrt::DataRep rep = (data[0] & 1) ? rpcrt::kBigEndianDataRep : rpcrt::kLocalDataRep;
  std::span<const uint8_t> stub(data + 1, size - 1);

  // The DoRpc reply: answer, then the result structure.
  Refused([&] {
    rpcrt::NdrReader r(stub, rep);
    (void)r.ReadUniqueWideString();
    r.Align(4);
    (void)r.ReadU8();
    (void)r.ReadUniqueWideString();
  });
  Refused([&] {
    rpcrt::NdrReader r(stub, rep);
    (void)r.ReadWideString();
    (void)r.ReadAnsiString();
    (void)r.ReadContextHandle();
    (void)r.ReadU64();
  });
  Refused([&] { (void)rpcrt::epm::DecodeEptMapRequest(stub, rep); });
  Refused([&] { (void)rpcrt::epm::DecodeEptLookupRequest(stub, rep); });
  return 0;
}
