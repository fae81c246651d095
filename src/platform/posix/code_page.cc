#include "platform/code_page.h"

#include <climits>
#include <cstring>
#include <string_view>

#include "platform/fault_injection.h"
#include "platform/last_error.h"
#include "platform/utf_convert.h"

namespace {

int Fail(DWORD code) {
  SetLastError(code);
  return 0;
}

// True (and the last error set) when this call must fail.
bool InjectedFailure() {
  const DWORD error = platform::TakeInjectedConversionFailure();
  if (error == ERROR_SUCCESS) return false;
  SetLastError(error);
  return true;
}

bool KnownCodePage(UINT code_page) {
  return code_page == CP_ACP || code_page == CP_UTF8;
}

// Resolves an input length: -1 means "through the terminating zero". Returns false when the
// length is invalid or the terminated string does not fit an int.
template <typename Char>
bool InputLength(const Char* text, int len, size_t& out) {
  if (len > 0) {
    out = static_cast<size_t>(len);
    return true;
  }
  if (len != -1) return false;
  out = std::char_traits<Char>::length(text) + 1;
  return out <= static_cast<size_t>(INT_MAX);
}

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int multi_byte_len,
                        LPWSTR wide, int wide_len) {
  if (InjectedFailure()) return 0;
  if (!KnownCodePage(code_page)) return Fail(ERROR_INVALID_PARAMETER);
  if (flags != 0) return Fail(ERROR_INVALID_FLAGS);
  if (multi_byte == nullptr || wide_len < 0 || (wide == nullptr && wide_len > 0) ||
      (wide != nullptr && static_cast<const void*>(wide) == multi_byte)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  size_t in_len;
  if (!InputLength(multi_byte, multi_byte_len, in_len)) return Fail(ERROR_INVALID_PARAMETER);

  const std::string_view input(multi_byte, in_len);
  const size_t needed = platform::Utf16LengthOf(input);
  if (needed > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  if (wide_len == 0) return static_cast<int>(needed);
  // Nothing is written unless all of it fits: the caller's buffer keeps its contents.
  if (needed > static_cast<size_t>(wide_len)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  platform::Utf8ToUtf16(input, wide);
  return static_cast<int>(needed);
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_len, LPSTR multi_byte,
                        int multi_byte_len, LPCSTR default_char, BOOL* used_default_char) {
  if (InjectedFailure()) return 0;
  if (!KnownCodePage(code_page)) return Fail(ERROR_INVALID_PARAMETER);
  if (flags != 0) return Fail(ERROR_INVALID_FLAGS);
  // UTF-8 can hold every character, so a default character makes no sense and is refused.
  if (default_char != nullptr || used_default_char != nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (wide == nullptr || multi_byte_len < 0 || (multi_byte == nullptr && multi_byte_len > 0) ||
      (multi_byte != nullptr && static_cast<const void*>(multi_byte) == wide)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  size_t in_len;
  if (!InputLength(wide, wide_len, in_len)) return Fail(ERROR_INVALID_PARAMETER);

  const std::u16string_view input(wide, in_len);
  const size_t needed = platform::Utf8LengthOf(input);
  if (needed > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  if (multi_byte_len == 0) return static_cast<int>(needed);
  if (needed > static_cast<size_t>(multi_byte_len)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  platform::Utf16ToUtf8(input, multi_byte);
  return static_cast<int>(needed);
}
