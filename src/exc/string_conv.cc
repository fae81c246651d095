#include "exc/string_conv.h"

#include <climits>
#include <vector>

#include "exc/exceptions.h"
#include "platform/code_page.h"
#include "platform/last_error.h"

namespace exc {
namespace {

// The system calls take int lengths; longer texts fail as the system would fail them.
bool fits_int(size_t length) {
  return length <= static_cast<size_t>(INT_MAX) - 1;
}

[[noreturn]] void fail_wide_to_ansi() {
  throw win_sys_exc_t("Unicode string cannot be converted to multibyte string.", GetLastError());
}
[[noreturn]] void fail_ansi_to_wide(std::string_view source) {
  const DWORD code = GetLastError();
  throw win_sys_exc_t(
      "Multibyte string cannot be converted to unicode string. Source string: [%1].", source, code);
}
[[noreturn]] void fail_wide_to_utf8() {
  throw win_sys_exc_t("Unicode string cannot be converted to UTF8 string.", GetLastError());
}
[[noreturn]] void fail_utf8_to_wide(std::string_view source) {
  const DWORD code = GetLastError();
  throw win_sys_exc_t(
      "Multibyte UTF8 string cannot be converted to unicode string. Source string: [%1].", source,
      code);
}

}  // namespace

std::string wide_to_ansi(std::u16string_view text) {
  if (text.empty()) return {};
  if (!fits_int(text.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    fail_wide_to_ansi();
  }
  // The system sees the text with its terminating zero, as a C string.
  const std::u16string terminated(text);
  const int in_len = static_cast<int>(terminated.size()) + 1;
  const int size =
      WideCharToMultiByte(CP_ACP, 0, terminated.c_str(), in_len, nullptr, 0, nullptr, nullptr);
  if (size < 1) fail_wide_to_ansi();
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  if (WideCharToMultiByte(CP_ACP, 0, terminated.c_str(), in_len, buffer.data(), size, nullptr,
                          nullptr) < 1) {
    fail_wide_to_ansi();
  }
  return std::string(buffer.data());
}

std::string wide_to_ansi_nothrow(std::u16string_view text) {
  try {
    return wide_to_ansi(text);
  } catch (const std::exception&) {
    return "UNICODE->ANSI failed";
  }
}

std::u16string ansi_to_wide(std::string_view text) {
  if (text.empty()) return {};
  if (!fits_int(text.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    fail_ansi_to_wide(text);
  }
  const std::string terminated(text);
  const int in_len = static_cast<int>(terminated.size()) + 1;
  const int size = MultiByteToWideChar(CP_ACP, 0, terminated.c_str(), in_len, nullptr, 0);
  if (size < 1) fail_ansi_to_wide(text);
  std::vector<char16_t> buffer(static_cast<size_t>(size) + 1, u'\0');
  if (MultiByteToWideChar(CP_ACP, 0, terminated.c_str(), in_len, buffer.data(), size) == 0) {
    fail_ansi_to_wide(text);
  }
  return std::u16string(buffer.data());
}

std::u16string ansi_to_wide_nothrow(std::string_view text) {
  try {
    return ansi_to_wide(text);
  } catch (const std::exception&) {
    return u"ANSI -> UNICODE failed.";
  }
}

std::string wide_to_utf8(std::u16string_view text) {
  if (text.empty()) return {};
  if (!fits_int(text.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    fail_wide_to_utf8();
  }
  const int in_len = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), in_len, nullptr, 0, nullptr, nullptr);
  if (size < 1) fail_wide_to_utf8();
  std::string result(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), in_len, result.data(), size, nullptr, nullptr) <
      1) {
    fail_wide_to_utf8();
  }
  return result;
}

std::string wide_to_utf8_nothrow(std::u16string_view text) noexcept {
  try {
    return wide_to_utf8(text);
  } catch (...) {
    return {};
  }
}

std::u16string utf8_to_wide(std::string_view text) {
  if (text.empty()) return {};
  if (!fits_int(text.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    fail_utf8_to_wide(text);
  }
  const int in_len = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), in_len, nullptr, 0);
  if (size < 1) fail_utf8_to_wide(text);
  std::u16string result(static_cast<size_t>(size), u'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), in_len, result.data(), size) == 0) {
    fail_utf8_to_wide(text);
  }
  return result;
}

std::u16string utf8_to_wide_nothrow(std::string_view text) {
  try {
    return utf8_to_wide(text);
  } catch (const std::exception&) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string fallback = u"UTF8 -> UTF16 failed. Raw: ";
    fallback.reserve(fallback.size() + text.size() * 2);
    for (unsigned char byte : text) {
      fallback.push_back(kDigits[byte >> 4]);
      fallback.push_back(kDigits[byte & 0xf]);
    }
    return fallback;
  }
}

std::string ansi_to_utf8(std::string_view text) {
  try {
    return wide_to_utf8(ansi_to_wide(text));
  } catch (const std::exception&) {
    return std::string(text);
  }
}

}  // namespace exc
