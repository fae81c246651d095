#include "exc/format_message.h"

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstring>
#include <exception>

namespace exc {
namespace {

constexpr size_t kTrackedArguments = 256;

// A placeholder number read with the rules of strtol in base 10 for a 32-bit long: leading
// white space and one sign are consumed, values saturate at the limits.
struct placeholder_number {
  bool has_digits = false;
  int32_t value = 0;
  size_t consumed = 0;  // characters after the '%', white space and sign included
};

bool is_c_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

placeholder_number read_number(std::string_view text) {
  placeholder_number result;
  size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const size_t digits_start = i;
  int64_t magnitude = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (magnitude <= int64_t{INT32_MAX} + 1) magnitude = magnitude * 10 + (text[i] - '0');
    ++i;
  }
  if (i == digits_start) return result;  // no conversion: nothing is consumed
  result.has_digits = true;
  result.consumed = i;
  if (negative) {
    result.value =
        magnitude > int64_t{INT32_MAX} + 1 ? INT32_MIN : static_cast<int32_t>(-magnitude);
  } else {
    result.value = magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
  }
  return result;
}

// Position of the next '%' or "{}" at or after pos, or npos.
size_t next_placeholder(std::string_view format, size_t pos) {
  for (; pos < format.size(); ++pos) {
    const char c = format[pos];
    if (c == '%') return pos;
    if (c == '{' && pos + 1 < format.size() && format[pos + 1] == '}') return pos;
  }
  return std::string_view::npos;
}

}  // namespace

std::string format_prepared(std::string_view format, std::span<const std::string> args) {
  if (args.empty()) return std::string(format);

  size_t capacity = format.size();
  for (const auto& a : args) capacity += a.size();
  std::string result;
  result.reserve(capacity);

  std::bitset<kTrackedArguments> used;
  const size_t count = args.size();
  uint32_t brace_counter = 0;

  size_t pos = 0;
  while (pos < format.size()) {
    const size_t start = next_placeholder(format, pos);
    if (start == std::string_view::npos) {
      result.append(format.substr(pos));
      break;
    }
    result.append(format.substr(pos, start - pos));
    if (format[start] == '%') {
      const placeholder_number n = read_number(format.substr(start + 1));
      if (!n.has_digits) {
        result.push_back('%');
        pos = start + 1;
        continue;
      }
      const uint32_t idx = static_cast<uint32_t>(n.value) - 1u;
      if (idx < count) {
        result.append(args[idx]);
        if (idx < kTrackedArguments) used.set(idx);
      } else {
        result.append(format.substr(start, 1 + n.consumed));
      }
      pos = start + 1 + n.consumed;
    } else {
      if (brace_counter < count) {
        result.append(args[brace_counter]);
        if (brace_counter < kTrackedArguments) used.set(brace_counter);
      } else {
        result.append("{}");
      }
      ++brace_counter;
      pos = start + 2;
    }
  }

  if (used.count() < count && count <= kTrackedArguments) {
    if (!result.empty() && result.back() != '.') result.push_back('.');
    result.append(" Skipped arguments: ");
    for (size_t i = 0; i < count; ++i) {
      if (used.test(i)) continue;
      result.push_back('[');
      result.append(args[i]);
      result.append("];");
    }
  }
  return result;
}

std::string format_prepared_nothrow(std::string_view format, std::span<const std::string> args) {
  try {
    return format_prepared(format, args);
  } catch (const std::exception& e) {
    std::string note(format);
    note += ". Message format error: [";
    note += e.what() ? e.what() : "";
    note += "]";
    return note;
  }
}

std::string format_simple(std::string_view format, std::span<const std::string_view> args) {
  if (args.empty()) return std::string(format);
  std::string result;
  size_t pos = 0;
  while (true) {
    const size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      result.append(format.substr(pos));
      break;
    }
    result.append(format.substr(pos, percent - pos));
    pos = percent + 1;
    if (pos >= format.size()) break;  // a lone '%' at the end is dropped
    const placeholder_number n = read_number(format.substr(pos));
    if (!n.has_digits) {
      result.push_back('%');
      continue;
    }
    if (n.value > 0 && static_cast<int64_t>(n.value) - 1 < static_cast<int64_t>(args.size())) {
      result.append(args[n.value - 1]);
    } else {
      result.push_back('%');
      result.append(format.substr(pos, n.consumed));
    }
    pos += n.consumed;
  }
  return result;
}

void append_hex_digits(std::string& out, uint64_t value, size_t digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const size_t start = out.size();
  out.resize(start + digits);
  for (size_t i = digits; i > 0; --i, value >>= 4) out[start + i - 1] = kDigits[value & 0xf];
}

std::string to_hex_text(uint32_t value) {
  std::string text = "0x";
  append_hex_digits(text, value, 8);
  return text;
}

std::string to_hex_text(int32_t value) {
  return to_hex_text(static_cast<uint32_t>(value));
}

std::string to_hex_text(const void* address) {
  std::string text = "0x";
  append_hex_digits(text, reinterpret_cast<uintptr_t>(address), sizeof(uintptr_t) * 2);
  return text;
}

}  // namespace exc
