#include "exc/system_message.h"

#include <memory>
#include <string_view>

#include "exc/string_conv.h"
#include "platform/local_memory.h"
#include "platform/system_text.h"

namespace exc {
namespace {

struct local_free_t {
  void operator()(char16_t* block) const { LocalFree(block); }
};

}  // namespace

std::optional<std::string> system_message_text(DWORD flags, LPCVOID source, uint32_t code,
                                               DWORD language) {
  char16_t* raw = nullptr;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the allocated block.
  const DWORD length =
      FormatMessageW(flags, source, code, language, reinterpret_cast<LPWSTR>(&raw), 0, nullptr);
  const std::unique_ptr<char16_t, local_free_t> buffer(raw);
  if (length == 0 || !buffer) return std::nullopt;
  return wide_to_utf8(std::u16string_view(buffer.get(), length));
}

}  // namespace exc
