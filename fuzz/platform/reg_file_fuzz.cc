// Feeds arbitrary bytes to the .reg file parser: it must never crash, and what it accepts
// must hold the shapes the registry relies on (hex(1): data may have any length, as on
// Windows, so strings are not checked here).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/reg_file_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const platform::RegFile file = platform::ParseRegFile(std::span(data, size));
  for (const auto& key : file.keys) {
    if (key.path.empty() || key.path.find(u"\\\\") != std::u16string::npos) std::abort();
    for (const auto& value : key.values) {
      if (value.type == REG_DWORD && value.data.size() != 4) std::abort();
      if (value.type == REG_QWORD && value.data.size() != 8) std::abort();
    }
  }
  return 0;
}
