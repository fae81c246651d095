#include "tools/registry_setting.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/reg_file_parser.h"

namespace zelqa::tools {
namespace {

constexpr char kDefaultStore[] = "/etc/zelqa/registry.reg";
constexpr std::u16string_view kProductKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix";
// The library refuses a larger store rather than read it into memory.
constexpr std::uintmax_t kMaxStoreSize = 16 << 20;

bool EqualAsciiNoCase(std::u16string_view a, std::u16string_view b) {
  const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? c - 0x20 : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// The store's bytes; empty when it cannot be read, which the library takes for an empty store.
std::vector<uint8_t> ReadStore(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) ||
      std::filesystem::file_size(path, ec) > kMaxStoreSize || ec) {
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::optional<uint32_t> ProductDwordSetting(std::u16string_view name) {
  const char* env = std::getenv("ZELQA_REGISTRY_FILE");
  const std::string path = env != nullptr && *env != '\0' ? env : kDefaultStore;
  const platform::RegFile file = platform::ParseRegFile(ReadStore(path));
  // As the library reports a malformed line: on the debugger output, which it sends to
  // standard error when ZELQA_DEBUG_OUTPUT is set.
  if (std::getenv("ZELQA_DEBUG_OUTPUT") != nullptr) {
    for (const std::string& d : file.diagnostics) {
      const std::string line = "registry file " + path + ": " + d + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
    }
  }
  const platform::RegFileValue* last = nullptr;
  for (const platform::RegFileKey& key : file.keys) {
    if (!EqualAsciiNoCase(key.path, kProductKey)) continue;
    for (const platform::RegFileValue& value : key.values) {
      if (EqualAsciiNoCase(value.name, name)) last = &value;
    }
  }
  if (last == nullptr || last->type != REG_DWORD || last->data.size() != sizeof(uint32_t)) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(last->data[0] | last->data[1] << 8 | last->data[2] << 16 |
                               static_cast<uint32_t>(last->data[3]) << 24);
}

}  // namespace zelqa::tools
