// Conversion of one formatter argument to narrow text.
//
// Every conversion is contained: if it throws, the argument's text becomes
// "[Cannot format argument. Exception: <what()>]" and the other arguments are unaffected.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

namespace exc {

// A type that carries a UTF-16 text: it is formatted with the non-throwing UTF-8 conversion
// (an empty text when that fails) instead of the throwing one used for plain UTF-16 strings.
template <class T>
concept CarriesWideText = requires(const T& t) {
  { t.wide_text() } -> std::convertible_to<std::u16string_view>;
};

// The smallest such type, for call sites that hold a view.
struct wide_text_ref {
  std::u16string_view text;
  std::u16string_view wide_text() const { return text; }
};

namespace detail {

std::string argument_failure_text(const std::exception& e);
std::string narrow_argument(std::string_view text);
std::string c_string_argument(const char* text);
std::string wide_argument(std::u16string_view text);
std::string wide_argument_nothrow(std::u16string_view text);
std::string signed_argument(int64_t value);
std::string unsigned_argument(uint64_t value);

template <class T>
concept FormattableInteger = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> &&
                             !std::same_as<T, char8_t> && !std::same_as<T, char16_t> &&
                             !std::same_as<T, char32_t> && !std::same_as<T, wchar_t>;

}  // namespace detail

std::string format_argument(std::string_view text);
std::string format_argument(const char* text);
std::string format_argument(std::u16string_view text);
std::string format_argument(bool value);

// Integers in decimal, "-" first for negative values (u32, i32 and i64 and their relatives).
template <detail::FormattableInteger T>
std::string format_argument(T value) {
  if constexpr (std::is_signed_v<T>) {
    return detail::signed_argument(static_cast<int64_t>(value));
  } else {
    return detail::unsigned_argument(static_cast<uint64_t>(value));
  }
}

template <CarriesWideText T>
std::string format_argument(const T& value) {
  return detail::wide_argument_nothrow(value.wide_text());
}

// std::string and std::u16string go through their views; listed so that they are exact matches.
inline std::string format_argument(const std::string& text) {
  return format_argument(std::string_view(text));
}
inline std::string format_argument(const std::u16string& text) {
  return format_argument(std::u16string_view(text));
}
inline std::string format_argument(const char16_t* text) {
  return format_argument(text ? std::u16string_view(text) : std::u16string_view());
}

}  // namespace exc
