// UTF-8 <-> UTF-16 conversion on arbitrary input: counts match what is written, and one pass
// through either direction yields text that round-trips exactly.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/utf_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = platform::Utf8ToUtf16(bytes);
  const std::string clean = platform::Utf16ToUtf8(wide);
  if (platform::Utf16ToUtf8(platform::Utf8ToUtf16(clean)) != clean) std::abort();

  const std::u16string units(reinterpret_cast<const char16_t*>(data), size / 2);
  const std::string narrow = platform::Utf16ToUtf8(units);
  if (platform::Utf8LengthOf(units) != narrow.size()) std::abort();
  const std::u16string repaired = platform::Utf8ToUtf16(narrow);
  if (platform::Utf8ToUtf16(platform::Utf16ToUtf8(repaired)) != repaired) std::abort();
  return 0;
}
