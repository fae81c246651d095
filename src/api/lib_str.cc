#include "api/lib_str.h"

#include <cstdlib>
#include <cstring>

#include "exc/string_conv.h"

namespace api {
namespace {

constexpr char16_t kOutOfMemoryText[] = u"Not enough memory to build the error text.";

char16_t* AllocCopy(const char16_t* text, size_t length) noexcept {
  auto* block = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
  if (block != nullptr) {
    std::memcpy(block, text, length * sizeof(char16_t));
    block[length] = u'\0';
  }
  return block;
}

}  // namespace

char16_t* AllocLibStr(const std::u16string& text) noexcept {
  return AllocCopy(text.data(), text.size());
}

char16_t* AllocErrorText(const std::exception& e) noexcept {
  try {
    const char* what = e.what();
    const std::u16string text = what ? exc::ansi_to_wide_nothrow(what) : std::u16string();
    return AllocLibStr(text);
  } catch (...) {
    // Building the text itself ran out of memory: a fixed text still tells the caller
    // something, and the export never writes through a null pointer.
    return AllocCopy(kOutOfMemoryText, std::char_traits<char16_t>::length(kOutOfMemoryText));
  }
}

}  // namespace api
