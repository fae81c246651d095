// Towers, and the endpoint mapper replies that carry them.
#include <cstdlib>

#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"

namespace {

void CheckTower(std::span<const uint8_t> octets) {
  try {
    (void)rpcrt::epm::SummarizeTower(octets);
    auto tower = rpcrt::epm::DecodeTcpTower(octets);
    if (!tower) return;
    // A TCP tower re-encodes to a tower that decodes to the same endpoint.
    if (rpcrt::epm::DecodeTcpTower(rpcrt::epm::EncodeTcpTower(*tower)) != tower) std::abort();
    (void)rpcrt::epm::ToStringBinding(*tower);
  } catch (const rpcrt::RpcError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::span<const uint8_t> input(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      CheckTower(input);
      break;
    case 1:
      try {
        auto response = rpcrt::epm::DecodeEptMapResponse(input);
        for (const auto& t : response.towers) {
          if (t) CheckTower(*t);
        }
      } catch (const rpcrt::RpcError&) {
      }
      break;
    case 2:
      try {
        auto response = rpcrt::epm::DecodeEptLookupResponse(input);
        for (const auto& e : response.entries) {
          if (e.tower) CheckTower(*e.tower);
        }
      } catch (const rpcrt::RpcError&) {
      }
      break;
  }
  return 0;
}
