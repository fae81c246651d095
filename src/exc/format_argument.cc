#include "exc/format_argument.h"

#include <charconv>

#include "exc/string_conv.h"

namespace exc {
namespace detail {

std::string argument_failure_text(const std::exception& e) {
  const char* what = e.what();
  std::string text = "[Cannot format argument. Exception: ";
  text += what ? what : "";
  text += "]";
  return text;
}

std::string narrow_argument(std::string_view text) {
  try {
    return std::string(text);
  } catch (const std::exception& e) {
    return argument_failure_text(e);
  }
}

std::string c_string_argument(const char* text) {
  try {
    return text ? std::string(text) : std::string();
  } catch (const std::exception& e) {
    return argument_failure_text(e);
  }
}

std::string wide_argument(std::u16string_view text) {
  try {
    return wide_to_utf8(text);
  } catch (const std::exception& e) {
    return argument_failure_text(e);
  }
}

std::string wide_argument_nothrow(std::u16string_view text) {
  try {
    return wide_to_utf8_nothrow(text);
  } catch (const std::exception& e) {
    return argument_failure_text(e);
  }
}

std::string signed_argument(int64_t value) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(digits, end);
}

std::string unsigned_argument(uint64_t value) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(digits, end);
}

}  // namespace detail

std::string format_argument(std::string_view text) {
  return detail::narrow_argument(text);
}
std::string format_argument(const char* text) {
  return detail::c_string_argument(text);
}
std::string format_argument(std::u16string_view text) {
  return detail::wide_argument(text);
}
std::string format_argument(bool value) {
  return value ? "true" : "false";
}

}  // namespace exc
