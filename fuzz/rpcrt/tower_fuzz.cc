// Towers, and the endpoint mapper replies that carry them.
#include <cstdlib>

#include "fuzz/refusal.h"
#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"

namespace {

using fuzz::Refused;

void CheckTower(std::span<const uint8_t> octets) {
  Refused([&] {
    (void)rpcrt::epm::SummarizeTower(octets);
    auto tower = rpcrt::epm::DecodeTcpTower(octets);
    if (!tower) return;
    // A TCP tower re-encodes to a tower that decodes to the same endpoint.
    if (rpcrt::epm::DecodeTcpTower(rpcrt::epm::EncodeTcpTower(*tower)) != tower) std::abort();
    (void)rpcrt::epm::ToStringBinding(*tower);
  });
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
      Refused([&] {
        for (const auto& t : rpcrt::epm::DecodeEptMapResponse(input).towers) {
          if (t) CheckTower(*t);
        }
      });
      break;
    case 2:
      Refused([&] {
        for (const auto& e : rpcrt::epm::DecodeEptLookupResponse(input).entries) {
          if (e.tower) CheckTower(*e.tower);
        }
      });
      break;
  }
  return 0;
}
