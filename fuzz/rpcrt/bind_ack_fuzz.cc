// Bind acknowledgements and alter_context responses with a valid header around any body, so
// that the fuzzer spends its time on the secondary address and the result list.
#include <cstdlib>
#include <vector>

#include "rpcrt/pdu/pdu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 0xffff - rpcrt::kCommonHeaderSize) return 0;
  bool alter = (data[0] & 1) != 0;
  std::vector<uint8_t> fragment = {
      5, 0, static_cast<uint8_t>(alter ? 15 : 12), 3, 0x10, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  fragment.insert(fragment.end(), data + 1, data + size);
  fragment[8] = static_cast<uint8_t>(fragment.size());
  fragment[9] = static_cast<uint8_t>(fragment.size() >> 8);
  try {
    rpcrt::Pdu pdu = rpcrt::DecodePdu(fragment);
    const auto& ack =
        alter
            ? static_cast<const rpcrt::BindAckFields&>(std::get<rpcrt::AlterContextResp>(pdu.body))
            : std::get<rpcrt::BindAck>(pdu.body);
    // Each result is 24 bytes of what the fragment held.
    if (ack.results.size() * 24 > fragment.size()) std::abort();
    for (const auto& r : ack.results) (void)rpcrt::BindTimeFeatures(r.transfer_syntax);
  } catch (const rpcrt::RpcError&) {
  }
  return 0;
}
