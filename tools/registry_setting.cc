#include "tools/registry_setting.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "logging/registry_keys.h"
#include "platform/reg_file_parser.h"
#include "rpcrt/ndr/byte_order.h"

namespace zelqa::tools {
namespace {

// The full path of the product key, as the registry file spells it.
std::u16string ProductKeyPath() {
  return std::u16string(u"HKEY_LOCAL_MACHINE\\") + logging::kProductKey;
}

// The store's bytes; empty when it cannot be read, which the library takes for an empty store.
std::vector<uint8_t> ReadStore(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) ||
      std::filesystem::file_size(path, ec) > platform::kMaxRegistryFileSize || ec) {
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::optional<uint32_t> ProductDwordSetting(std::u16string_view name) {
  const char* env = std::getenv(platform::kRegistryFileVariable);
  const std::string path = env != nullptr && *env != '\0' ? env : platform::kDefaultRegistryFile;
  const platform::RegFile file = platform::ParseRegFile(ReadStore(path));
  // As the library reports a malformed line: on the debugger output, which it sends to
  // standard error when ZELQA_DEBUG_OUTPUT is set.
  if (std::getenv("ZELQA_DEBUG_OUTPUT") != nullptr) {
    for (const std::string& d : file.diagnostics) {
      const std::string line = "registry file " + path + ": " + d + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
    }
  }
  const std::u16string product_key = platform::FoldRegistryName(ProductKeyPath());
  const std::u16string wanted = platform::FoldRegistryName(name);
  const platform::RegFileValue* last = nullptr;
  for (const platform::RegFileKey& key : file.keys) {
    if (platform::FoldRegistryName(key.path) != product_key) continue;
    for (const platform::RegFileValue& value : key.values) {
      if (platform::FoldRegistryName(value.name) == wanted) last = &value;
    }
  }
  if (last == nullptr || last->type != REG_DWORD || last->data.size() != sizeof(uint32_t)) {
    return std::nullopt;
  }
  return rpcrt::LoadLe<uint32_t>(last->data);
}

}  // namespace zelqa::tools
