#include "rpcrt/ndr/utf16.h"

#include <cstring>

#include "rpcrt/ndr/byte_order.h"

namespace rpcrt {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at utf8[pos] and advances pos. An ill-formed sequence yields
// U+FFFD and consumes only its maximal valid prefix (at least one byte), so that the
// byte that broke it starts the next sequence, as Unicode recommends and Windows does.
char32_t DecodeUtf8(std::string_view utf8, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(utf8[i]); };
  const uint8_t lead = byte(pos++);
  if (lead < 0x80) return lead;

  int trail;
  char32_t cp;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the first trail byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return kReplacement;  // stray trail byte, C0/C1 or F5..FF
  }
  for (int i = 0; i < trail; ++i) {
    if (pos >= utf8.size()) return kReplacement;
    const uint8_t b = byte(pos);
    if (b < low || b > high) return kReplacement;
    low = 0x80;
    high = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    ++pos;
  }
  return cp;
}

// Decodes one code point at utf16[pos] and advances pos; unpaired surrogates give U+FFFD.
char32_t DecodeUtf16(std::u16string_view utf16, size_t& pos) {
  const char16_t unit = utf16[pos++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && pos < utf16.size()) {
    const char16_t next = utf16[pos];
    if (next >= 0xDC00 && next <= 0xDFFF) {
      ++pos;
      return 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (next - 0xDC00);
    }
  }
  return kReplacement;
}

// Length of the run of ASCII bytes at utf8[pos], tested eight bytes at a time: text is mostly
// ASCII, and its bytes convert one to one.
size_t AsciiRun(std::string_view utf8, size_t pos) {
  size_t end = pos;
  while (end + 8 <= utf8.size()) {
    uint64_t block;
    std::memcpy(&block, utf8.data() + end, 8);
    if (block & 0x8080808080808080ull) break;
    end += 8;
  }
  while (end < utf8.size() && static_cast<uint8_t>(utf8[end]) < 0x80) ++end;
  return end - pos;
}

size_t Utf8Width(char32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

}  // namespace

size_t Utf16LengthOf(std::string_view utf8) {
  size_t n = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    const size_t ascii = AsciiRun(utf8, pos);
    n += ascii;
    pos += ascii;
    if (pos < utf8.size()) n += DecodeUtf8(utf8, pos) >= 0x10000 ? 2 : 1;
  }
  return n;
}

void Utf8ToUtf16(std::string_view utf8, char16_t* out) {
  for (size_t pos = 0; pos < utf8.size();) {
    for (size_t end = pos + AsciiRun(utf8, pos); pos < end; ++pos) {
      *out++ = static_cast<uint8_t>(utf8[pos]);
    }
    if (pos == utf8.size()) break;
    const char32_t cp = DecodeUtf8(utf8, pos);
    if (cp >= 0x10000) {
      *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(cp);
    }
  }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out(Utf16LengthOf(utf8), u'\0');
  Utf8ToUtf16(utf8, out.data());
  return out;
}

size_t Utf8LengthOf(std::u16string_view utf16) {
  size_t n = 0;
  for (size_t pos = 0; pos < utf16.size();) {
    if (utf16[pos] < 0x80) {  // the common case, without the decoder's branches
      ++n;
      ++pos;
      continue;
    }
    n += Utf8Width(DecodeUtf16(utf16, pos));
  }
  return n;
}

void Utf16ToUtf8(std::u16string_view utf16, char* out) {
  for (size_t pos = 0; pos < utf16.size();) {
    if (utf16[pos] < 0x80) {
      *out++ = static_cast<char>(utf16[pos++]);
      continue;
    }
    const char32_t cp = DecodeUtf16(utf16, pos);
    switch (Utf8Width(cp)) {
      case 1:
        *out++ = static_cast<char>(cp);
        break;
      case 2:
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        break;
      case 3:
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        break;
      default:
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        break;
    }
  }
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out(Utf8LengthOf(utf16), '\0');
  Utf16ToUtf8(utf16, out.data());
  return out;
}

bool IsWellFormedUtf16(std::u16string_view utf16) {
  for (size_t pos = 0; pos < utf16.size();) {
    const bool surrogate = utf16[pos] >= 0xD800 && utf16[pos] <= 0xDFFF;
    if (surrogate && DecodeUtf16(utf16, pos) == kReplacement) return false;
    if (!surrogate) ++pos;
  }
  return true;
}

std::u16string Utf16FromLe(std::span<const uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = LoadLe<uint16_t>(bytes.subspan(2 * i));
  return text;
}

void AppendUtf16Le(std::vector<uint8_t>& out, std::u16string_view text) {
  out.reserve(out.size() + 2 * text.size());
  for (char16_t c : text) AppendLe<uint16_t>(out, c);
}

}  // namespace rpcrt
