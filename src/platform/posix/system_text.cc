#include "platform/system_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/last_error.h"
#include "platform/local_memory.h"
#include "platform/module_handle.h"
#include "platform/system_text_table.h"

namespace {

constexpr DWORD kSourceFlags =
    FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kKnownFlags = FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                              kSourceFlags | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                              FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr int kMaxInserts = 99;

DWORD Fail(DWORD code) {
  SetLastError(code);
  return 0;
}

// Neutral, user default, system default, English neutral and English (United States): the
// ids under which the English texts are found. Everything else has no texts here.
bool EnglishLanguage(DWORD language) {
  return language == 0 || language == 0x400 || language == 0x800 || language == 0x09 ||
         language == 0x409;
}

// Where the message comes from: a caller's format string or one of the built-in tables.
// Returns none with the last error set when there is no message.
std::optional<std::u16string> LookUp(DWORD flags, LPCVOID source, DWORD id, DWORD language,
                                     bool& from_table) {
  from_table = false;
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (source == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return std::nullopt;
    }
    return std::u16string(static_cast<const char16_t*>(source));
  }
  if (!EnglishLanguage(language)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return std::nullopt;
  }
  from_table = true;
  // A module is searched first; the system table is the fallback when both are asked for.
  // Only the wininet stand-in has a message table: executables and libraries have none.
  if ((flags & FORMAT_MESSAGE_FROM_HMODULE) && source == platform::WininetModule()) {
    if (const char16_t* text = platform::FindWininetText(id)) return std::u16string(text);
  }
  if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    if (auto text = platform::FindSystemText(id)) return text;
  }
  SetLastError(ERROR_MR_MID_NOT_FOUND);
  return std::nullopt;
}

// The insert arguments, read once in index order whatever order the text uses them in.
class Arguments {
 public:
  Arguments(DWORD flags, va_list* list)
      : array_(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY), list_(list) {}

  bool Present() const { return list_ != nullptr; }

  // Reads the pointer-sized argument for insert number 1..kMaxInserts. With a va_list,
  // every argument before it is read too (as a pointer-sized value) so that indexes stay
  // aligned with the caller's list.
  uintptr_t Get(int index) {
    if (array_) return reinterpret_cast<const uintptr_t*>(list_)[index - 1];
    while (read_ < index) values_[read_++] = va_arg(*list_, uintptr_t);
    return values_[index - 1];
  }

 private:
  bool array_;
  va_list* list_;
  uintptr_t values_[kMaxInserts] = {};
  int read_ = 0;
};

// Appends an insert with its printf-style type: strings (s, ls, ws, S) and 32-bit integers
// (d, i, u, x, X, with an optional l). Anything else is refused.
bool AppendInsert(std::u16string& out, std::u16string_view type, uintptr_t value) {
  if (type == u"s" || type == u"ls" || type == u"ws" || type == u"S") {
    const auto* s = reinterpret_cast<const char16_t*>(value);
    out += s != nullptr ? std::u16string_view(s) : std::u16string_view(u"(null)");
    return true;
  }
  if (!type.empty() && type.front() == u'l') type.remove_prefix(1);
  if (type.size() != 1) return false;
  const auto number = static_cast<uint32_t>(value);
  char text[16];
  switch (type.front()) {
    case u'd':
    case u'i':
      std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(number));
      break;
    case u'u':
      std::snprintf(text, sizeof text, "%u", number);
      break;
    case u'x':
      std::snprintf(text, sizeof text, "%x", number);
      break;
    case u'X':
      std::snprintf(text, sizeof text, "%X", number);
      break;
    default:
      return false;
  }
  for (const char* p = text; *p; ++p) out += static_cast<char16_t>(*p);
  return true;
}

// Expands the escapes of a message (%1..%99 inserts with optional !type!, %n, %0, %%, ...).
// Returns false with the last error set for a malformed insert or missing arguments; ended
// tells that %0 cut the text short (and no line break may follow it).
bool Expand(std::u16string_view text, Arguments& args, std::u16string& out, bool& ended) {
  ended = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char16_t c = text[++i];
    if (c == u'0') {  // ends the message, without a final line break
      ended = true;
      return true;
    }
    if (c == u'n') {
      out += u"\r\n";
    } else if (c == u'r') {
      out += u'\r';
    } else if (c == u't') {
      out += u'\t';
    } else if (c >= u'1' && c <= u'9') {
      int index = c - u'0';
      if (i + 1 < text.size() && text[i + 1] >= u'0' && text[i + 1] <= u'9') {
        index = index * 10 + (text[++i] - u'0');
      }
      std::u16string_view type = u"s";
      if (i + 1 < text.size() && text[i + 1] == u'!') {
        const size_t close = text.find(u'!', i + 2);
        if (close == std::u16string_view::npos) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return false;
        }
        type = text.substr(i + 2, close - i - 2);
        i = close;
      }
      if (!args.Present() || !AppendInsert(out, type, args.Get(index))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
      }
    } else {
      out += c;  // %% %. %! and a space stand for themselves
    }
  }
  return true;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & LMEM_ZEROINIT) std::memset(block, 0, bytes);
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  std::free(block);
  return nullptr;
}

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPWSTR buffer, DWORD size, va_list* arguments) {
  if ((flags & ~kKnownFlags) != 0 || (flags & kSourceFlags) == 0 || buffer == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const bool allocate = flags & FORMAT_MESSAGE_ALLOCATE_BUFFER;
  if (allocate) *reinterpret_cast<LPWSTR*>(buffer) = nullptr;

  bool from_table;
  const std::optional<std::u16string> message =
      LookUp(flags, source, message_id, language_id, from_table);
  if (!message) return 0;

  std::u16string out;
  const std::u16string_view text(*message);
  bool ended = false;
  if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
    out = text;
  } else {
    Arguments args(flags, arguments);
    if (!Expand(text, args, out, ended)) return 0;
  }
  // Table texts end in a line break, as the message compiler leaves them; a maximum width of
  // 0xFF asks for the text without its regular line breaks. Other widths do not re-wrap.
  if (from_table && !ended &&
      (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != FORMAT_MESSAGE_MAX_WIDTH_MASK) {
    out += u"\r\n";
  }

  const size_t units = out.size() + 1;
  if (allocate) {
    const size_t block_units = units > size ? units : size;
    auto* block = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, block_units * sizeof(WCHAR)));
    if (block == nullptr) return 0;
    std::memcpy(block, out.c_str(), units * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(buffer) = block;
  } else {
    if (units > size) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, out.c_str(), units * sizeof(WCHAR));
  }
  return static_cast<DWORD>(out.size());
}
