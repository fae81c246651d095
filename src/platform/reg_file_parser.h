// The ".reg" text format that the Windows registry editor exports and imports.
//
// Accepts "Windows Registry Editor Version 5.00" and "REGEDIT4" files in UTF-16LE (with a
// byte-order mark, as regedit writes them) or UTF-8 (with or without one). Sections name keys
// under a spelled-out root ([HKEY_LOCAL_MACHINE\...]); values are "Name"=... or @=... with
// string, dword:, hex: and hex(N): data, hex data continuing over lines ending in "\".
// Anything malformed is skipped with a diagnostic, never fatal: a bad file gives fewer keys.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace platform {

struct RegFileValue {
  std::u16string name;  // empty: the key's default value (@)
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;  // as the registry stores it: strings are UTF-16LE with NUL
};

struct RegFileKey {
  std::u16string path;  // root spelled out, components joined by "\", as written
  std::vector<RegFileValue> values;
};

struct RegFile {
  std::vector<RegFileKey> keys;          // in file order; a key may appear more than once
  std::vector<std::string> diagnostics;  // "line N: why it was skipped"
};

// The file's text as UTF-16, whatever of the accepted encodings it is in.
std::u16string DecodeRegFileText(std::span<const uint8_t> bytes);

RegFile ParseRegFile(std::span<const uint8_t> bytes);

// The file that holds the registry on Linux: named by this variable, else the default path. Far
// above any real settings file, a larger one is refused rather than read into memory.
inline constexpr char kRegistryFileVariable[] = "ZELQA_REGISTRY_FILE";
inline constexpr char kDefaultRegistryFile[] = "/etc/zelqa/registry.reg";
inline constexpr uint64_t kMaxRegistryFileSize = 16 << 20;

// Key paths and value names compare after this folding: ASCII, Latin-1 and basic Cyrillic
// letters, which covers the names a settings file holds; other characters compare exactly.
std::u16string FoldRegistryName(std::u16string_view name);

}  // namespace platform
