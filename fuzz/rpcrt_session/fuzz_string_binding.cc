// String bindings from untrusted text: parse, and what parses must compose back to itself.
#include <cstdlib>
#include <string_view>

#include "fuzz/refusal.h"
#include "rpcrt/client/string_binding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  fuzz::Refused([&] {
    auto parsed = rpcrt::client::StringBinding::Parse(text);
    auto again = rpcrt::client::StringBinding::Parse(parsed.Compose());
    if (again.network_address != parsed.network_address || again.endpoint != parsed.endpoint ||
        again.options != parsed.options || again.object_uuid != parsed.object_uuid)
      std::abort();
  });
  return 0;
}
