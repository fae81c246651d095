// The message formatter of every exception line and log record.
//
// format_message("Failed to open key [%1] in {}.", a, b): numbered placeholders %1..%N and
// anonymous ones "{}" (taken in order, independently of %N). Bad placeholders are copied as
// they stand; arguments that no placeholder used are appended as " Skipped arguments: [a];".
// The formatter never throws of its own: if building the text fails, the format comes back
// with ". Message format error: [<what()>]" appended.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "exc/format_argument.h"

namespace exc {

// The engine over prepared argument texts (at most 256 of them take part in the
// skipped-argument list). May throw std::bad_alloc / std::length_error.
std::string format_prepared(std::string_view format, std::span<const std::string> args);

// Calls format_prepared and turns its failure into the format-error note.
std::string format_prepared_nothrow(std::string_view format, std::span<const std::string> args);

template <class... Args>
std::string format_message(std::string_view format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return std::string(format);
  } else {
    const std::array<std::string, sizeof...(Args)> texts{format_argument(args)...};
    return format_prepared_nothrow(format, texts);
  }
}

// The lighter engine: only %N, over finished texts; no used set, no skipped-argument list.
// A lone "%" at the very end of the format is dropped.
std::string format_simple(std::string_view format, std::span<const std::string_view> args);

// "0x" and exactly eight lowercase hexadecimal digits: 0x00000005, 0x80004005.
std::string to_hex_text(uint32_t value);
std::string to_hex_text(int32_t value);

// "0x" and the address with the pointer's width (16 digits on 64-bit targets).
std::string to_hex_text(const void* address);

// Appends the lowest `digits` hexadecimal digits of value, lowercase, zero-padded, no prefix.
void append_hex_digits(std::string& out, uint64_t value, size_t digits);

}  // namespace exc
