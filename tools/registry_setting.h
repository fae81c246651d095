// Settings of the registry store read the way the client library reads them, for what the
// command-line client does without the library (lookup runs on the run time directly).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelqa::tools {

// The REG_DWORD value `name` (ASCII) under HKEY_LOCAL_MACHINE\SOFTWARE\Zelqa\Zelqa Harbrix in
// the store the library reads (ZELQA_REGISTRY_FILE, else /etc/zelqa/registry.reg): names
// compare without regard to case and the last value of a name wins. nullopt when the store
// cannot be read or has no such value, or the value last given under the name is no DWORD.
std::optional<uint32_t> ProductDwordSetting(std::u16string_view name);

}  // namespace zelqa::tools
