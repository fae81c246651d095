#include "logging/record_format.h"

#include <ctime>

#include "logging/log_level.h"
#include "platform/local_time.h"
#include "platform/thread_id.h"

namespace logging::format {
namespace {

// Fixed-width decimal fields are written by hand: this runs for every line of every record
// and snprintf-style formatting would cost more than the rest of the line together.
void append_padded(std::string& out, unsigned value, int width, char fill) {
  char buf[16];
  int pos = sizeof buf;
  do {
    buf[--pos] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && pos > 0);
  while (static_cast<int>(sizeof buf) - pos < width) buf[--pos] = fill;
  out.append(buf + pos, sizeof buf - pos);
}

// Writes `value` as exactly `width` zero-padded digits at `p`; returns the end.
char* put_digits(char* p, unsigned value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return p + width;
}

// "[dd.mm.yyyy hh:mm:ss.mmm] "
void append_stamp_ms(std::string& out) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char buf[32];
  char* p = buf;
  *p++ = '[';
  p = put_digits(p, t.wDay, 2);
  *p++ = '.';
  p = put_digits(p, t.wMonth, 2);
  *p++ = '.';
  p = put_digits(p, t.wYear, 4);
  *p++ = ' ';
  p = put_digits(p, t.wHour, 2);
  *p++ = ':';
  p = put_digits(p, t.wMinute, 2);
  *p++ = ':';
  p = put_digits(p, t.wSecond, 2);
  *p++ = '.';
  p = put_digits(p, t.wMilliseconds, 3);
  *p++ = ']';
  *p++ = ' ';
  out.append(buf, static_cast<size_t>(p - buf));
}

// "[dd.mm.yyyy hh:mm:ss] ", or "TIME ---" when the calendar time has no local form.
void append_stamp_s(std::string& out) {
  time_t now = time(nullptr);
  tm t{};
  if (now == static_cast<time_t>(-1) || localtime_r(&now, &t) == nullptr) {
    out += "TIME ---";
    return;
  }
  out += '[';
  append_padded(out, static_cast<unsigned>(t.tm_mday), 2, '0');
  out += '.';
  append_padded(out, static_cast<unsigned>(t.tm_mon + 1), 2, '0');
  out += '.';
  append_padded(out, static_cast<unsigned>(t.tm_year + 1900), 4, '0');
  out += ' ';
  append_padded(out, static_cast<unsigned>(t.tm_hour), 2, '0');
  out += ':';
  append_padded(out, static_cast<unsigned>(t.tm_min), 2, '0');
  out += ':';
  append_padded(out, static_cast<unsigned>(t.tm_sec), 2, '0');
  out += "] ";
}

std::string_view level_mark(int32_t level, bool first_line) {
  if (level != Warning && level != Error) return {};
  if (!first_line) return ">>  |";
  return level == Warning ? "WARN|" : "ERR |";
}

std::string_view level_name(int32_t level) {
  switch (level) {
    case Verbose:
    case Info:
      return "Info     ";
    case Warning:
      return "Warning  ";
    case Error:
      return "Error    ";
    default:
      return {};
  }
}

void append_line(std::string& out, uint32_t layout, int32_t level, int32_t depth,
                 std::string_view tag, std::string_view line, bool first_line, std::string_view eol,
                 DWORD thread_id) {
  switch (layout) {
    case kLayoutDefault:
      append_stamp_ms(out);
      out += '<';
      append_padded(out, thread_id, 6, ' ');
      out += "> ";
      out += tag;
      out += level_mark(level, first_line);
      break;
    case kLayoutNamed:
      append_stamp_s(out);
      out += '<';
      append_padded(out, thread_id % 100, 2, ' ');
      out += "> ";
      out += level_name(level);
      break;
    default:
      out += level_name(level);
      break;
  }
  for (int32_t i = 0; i < depth; ++i) out += "  ";
  out += line;
  out += eol;
}

}  // namespace

void append_record(std::string& out, uint32_t layout, int32_t level, int32_t depth,
                   std::string_view tag, std::string_view text, std::string_view eol) {
  const DWORD thread_id = GetCurrentThreadId();
  // One allocation for the whole record: every line costs its text plus a prefix of at most
  // stamp (26) + thread mark (13) + tag + mark (5) + indentation + terminator.
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  const size_t indent = depth > 0 ? 2 * static_cast<size_t>(depth) : 0;
  out.reserve(out.size() + text.size() + lines * (44 + tag.size() + indent + eol.size()));
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      // The rest is a line of its own unless it is empty after a line feed.
      if (first || start < text.size()) {
        append_line(out, layout, level, depth, tag, text.substr(start), first, eol, thread_id);
      }
      return;
    }
    append_line(out, layout, level, depth, tag, text.substr(start, lf - start), first, eol,
                thread_id);
    first = false;
    start = lf + 1;
  }
}

}  // namespace logging::format
