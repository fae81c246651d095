#include "platform/reg_file_parser.h"

#include <string_view>

#include "platform/utf_convert.h"

namespace platform {
namespace {

using View = std::u16string_view;

constexpr View kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr View kHeader4 = u"REGEDIT4";
constexpr View kRoots[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
                           u"HKEY_USERS", u"HKEY_CURRENT_CONFIG"};

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t';
}

View Trim(View s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsSpace(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(View s, View prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t a = s[i], b = prefix[i];
    if (a >= u'a' && a <= u'z') a -= 32;
    if (b >= u'a' && b <= u'z') b -= 32;
    if (a != b) return false;
  }
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses 1..max_digits hex digits making up all of s.
bool ParseHexNumber(View s, size_t max_digits, uint64_t& out) {
  if (s.empty() || s.size() > max_digits) return false;
  out = 0;
  for (char16_t c : s) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    out = out << 4 | static_cast<uint64_t>(d);
  }
  return true;
}

// Reads a quoted string starting at s[0] == '"', undoing the \\ and \" escapes. On success,
// rest is what follows the closing quote.
bool ParseQuoted(View s, std::u16string& out, View& rest) {
  if (s.empty() || s.front() != u'"') return false;
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'"') {
      rest = s.substr(i + 1);
      return true;
    }
    if (c == u'\\' && i + 1 < s.size()) {
      const char16_t next = s[++i];
      // regedit writes only these two escapes; an unknown one keeps its backslash.
      if (next != u'\\' && next != u'"') out += u'\\';
      out += next;
    } else {
      out += c;
    }
  }
  return false;  // no closing quote
}

// Comma-separated byte pairs ("00,ab, 7f"); an empty list is zero bytes.
bool ParseHexBytes(View s, std::vector<uint8_t>& out) {
  s = Trim(s);
  if (s.empty()) return true;
  while (true) {
    const size_t comma = s.find(u',');
    const View item = Trim(s.substr(0, comma));
    uint64_t byte;
    if (item.size() != 2 || !ParseHexNumber(item, 2, byte)) return false;
    out.push_back(static_cast<uint8_t>(byte));
    if (comma == View::npos) return true;
    s = s.substr(comma + 1);
    if (Trim(s).empty()) return true;  // a trailing comma ends the list
  }
}

class Parser {
 public:
  explicit Parser(View text) : text_(text) {}

  RegFile Run() {
    View line;
    if (!NextNonBlank(line)) {
      Diagnose("empty file");
      return std::move(result_);
    }
    line = Trim(line);
    if (line == kHeader5) {
      unicode_ = true;
    } else if (line == kHeader4) {
      unicode_ = false;
    } else {
      Diagnose("not a registry file: the first line is no registry editor header");
      return std::move(result_);
    }
    while (NextLine(line)) {
      line = Trim(line);
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        Section(line);
      } else if (line.front() == u'"' || line.front() == u'@') {
        Value(JoinContinuations(line));
      } else {
        Diagnose("unrecognised line");
      }
    }
    return std::move(result_);
  }

 private:
  bool NextLine(View& line) {
    if (pos_ >= text_.size()) return false;
    const size_t end = text_.find(u'\n', pos_);
    line = text_.substr(pos_, end == View::npos ? View::npos : end - pos_);
    pos_ = end == View::npos ? text_.size() : end + 1;
    ++line_number_;
    return true;
  }

  bool NextNonBlank(View& line) {
    while (NextLine(line)) {
      if (!Trim(line).empty()) return true;
    }
    return false;
  }

  void Diagnose(const char* why) {
    result_.diagnostics.push_back("line " + std::to_string(line_number_) + ": " + why);
  }

  void Section(View line) {
    in_section_ = true;
    current_ = nullptr;
    if (line.back() != u']' || line.size() < 3) return Diagnose("unterminated key name");
    View path = line.substr(1, line.size() - 2);
    if (path.front() == u'-') return;  // a deletion: nothing to add to a read-only store
    const size_t slash = path.find(u'\\');
    const View root = path.substr(0, slash);
    for (View known : kRoots) {
      if (root.size() == known.size() && StartsWithNoCase(root, known)) {
        std::u16string canonical(known);
        if (slash != View::npos) {
          const View rest = path.substr(slash + 1);
          if (rest.empty() || rest.front() == u'\\' || rest.back() == u'\\' ||
              rest.find(u"\\\\") != View::npos) {
            return Diagnose("empty component in key name");
          }
          canonical += u'\\';
          canonical += rest;
        }
        result_.keys.push_back({std::move(canonical), {}});
        current_ = &result_.keys.back();
        return;
      }
    }
    Diagnose("key is not under a known root");
  }

  // Hex data may run over several lines, each but the last ending in a backslash. Only hex
  // data continues: a string value may well end in "\\".
  std::u16string JoinContinuations(View first) {
    std::u16string joined(first);
    const size_t eq = DataStart(joined);
    if (eq == View::npos || !StartsWithNoCase(View(joined).substr(eq), u"hex")) return joined;
    View next;
    while (!joined.empty() && joined.back() == u'\\') {
      joined.pop_back();
      if (!NextLine(next)) break;
      joined += Trim(next);
    }
    return joined;
  }

  // Index of the data after "Name"= or @=; npos when the line has no such shape.
  static size_t DataStart(View line) {
    View rest;
    if (line.front() == u'@') {
      rest = Trim(line.substr(1));
    } else {
      std::u16string name;
      if (!ParseQuoted(line, name, rest)) return View::npos;
      rest = Trim(rest);
    }
    if (rest.empty() || rest.front() != u'=') return View::npos;
    rest = Trim(rest.substr(1));
    return static_cast<size_t>(rest.data() - line.data());
  }

  void Value(View line) {
    if (!in_section_) return Diagnose("value before any key");
    if (current_ == nullptr) return;  // under a skipped or deleted key: already accounted for
    RegFileValue value;
    View rest;
    if (line.front() == u'@') {
      rest = line.substr(1);
    } else if (!ParseQuoted(line, value.name, rest)) {
      return Diagnose("unterminated value name");
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != u'=') return Diagnose("missing \"=\" after value name");
    View data = Trim(rest.substr(1));
    if (data == u"-") return;  // a value deletion

    if (!data.empty() && data.front() == u'"') {
      std::u16string text;
      View after;
      if (!ParseQuoted(data, text, after) || !Trim(after).empty()) {
        return Diagnose("malformed string data");
      }
      value.type = REG_SZ;
      rpcrt::AppendUtf16Le(value.data, text);
      rpcrt::AppendUtf16Le(value.data, View(u"\0", 1));
    } else if (StartsWithNoCase(data, u"dword:")) {
      uint64_t number;
      if (!ParseHexNumber(Trim(data.substr(6)), 8, number)) return Diagnose("malformed dword");
      value.type = REG_DWORD;
      for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<uint8_t>(number >> (8 * i)));
    } else if (StartsWithNoCase(data, u"hex")) {
      if (!HexValue(data.substr(3), value)) return;
    } else {
      return Diagnose("unknown data type");
    }
    current_->values.push_back(std::move(value));
  }

  bool HexValue(View data, RegFileValue& value) {
    value.type = REG_BINARY;
    if (!data.empty() && data.front() == u'(') {
      const size_t close = data.find(u')');
      uint64_t type;
      if (close == View::npos || !ParseHexNumber(data.substr(1, close - 1), 8, type)) {
        Diagnose("malformed hex type");
        return false;
      }
      value.type = static_cast<DWORD>(type);
      data = data.substr(close + 1);
    }
    if (data.empty() || data.front() != u':') {
      Diagnose("missing \":\" after hex");
      return false;
    }
    if (!ParseHexBytes(data.substr(1), value.data)) {
      Diagnose("malformed hex bytes");
      return false;
    }
    if (value.type == REG_QWORD && value.data.size() != 8) {
      Diagnose("a qword needs exactly 8 bytes");
      return false;
    }
    if (value.type == REG_DWORD && value.data.size() != 4) {
      Diagnose("a dword needs exactly 4 bytes");
      return false;
    }
    // REGEDIT4 files carry expandable and multi strings as narrow bytes; the registry keeps
    // every string in UTF-16.
    if (!unicode_ && (value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ)) {
      const std::string narrow(value.data.begin(), value.data.end());
      value.data.clear();
      rpcrt::AppendUtf16Le(value.data, Utf8ToUtf16(narrow));
    }
    return true;
  }

  View text_;
  size_t pos_ = 0;
  size_t line_number_ = 0;
  bool unicode_ = true;
  bool in_section_ = false;
  RegFileKey* current_ = nullptr;
  RegFile result_;
};

}  // namespace

std::u16string DecodeRegFileText(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return rpcrt::Utf16FromLe(bytes.subspan(2));
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes = bytes.subspan(3);
  } else if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) {
    return rpcrt::Utf16FromLe(bytes);  // UTF-16LE that lost its byte-order mark
  }
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

RegFile ParseRegFile(std::span<const uint8_t> bytes) {
  const std::u16string text = DecodeRegFileText(bytes);
  return Parser(text).Run();
}

std::u16string FoldRegistryName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x430 && c <= 0x44F)) {
      c -= 0x20;
    } else if (c >= 0x450 && c <= 0x45F) {
      c -= 0x50;
    }
  }
  return out;
}

}  // namespace platform
