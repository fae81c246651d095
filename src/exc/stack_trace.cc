#include "exc/stack_trace.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "exc/format_message.h"
#include "platform/module_handle.h"
#include "platform/stack_capture.h"
#include "platform/system_text.h"

namespace exc {
namespace {

constexpr DWORD kFramesToSkip = 4;
constexpr DWORD kMaxFrames = 56;

}  // namespace

void format_module_bases(std::vector<std::string>& lines) {
  const HMODULE executable = GetModuleHandleW(nullptr);
  lines.push_back(format_message("Executable base address: {}", to_hex_text(executable)));

  HMODULE current = nullptr;
  const auto self = reinterpret_cast<LPCWSTR>(&format_module_bases);
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          self, &current) &&
      current != executable) {
    lines.push_back(format_message("Current module base address: {}", to_hex_text(current)));
  }
  if (current != platform::OwnImageBase()) {
    lines.push_back(format_message("Image base: {}", to_hex_text(platform::OwnImageBase())));
  }
}

std::vector<std::string> capture_stack_lines() {
  std::vector<std::string> lines;
  format_module_bases(lines);

  std::array<void*, kMaxFrames> frames{};
  const size_t count = std::min<size_t>(
      RtlCaptureStackBackTrace(kFramesToSkip, kMaxFrames, frames.data(), nullptr), kMaxFrames);

  constexpr size_t kWidth = sizeof(uintptr_t) * 2;
  std::string line = "FnAddrArray: ";
  line.reserve(line.size() + count * (kWidth + 1) + 1);
  for (size_t i = 0; i < count; ++i) {
    append_hex_digits(line, reinterpret_cast<uintptr_t>(frames[i]), kWidth);
    line.push_back(',');
  }
  lines.push_back(std::move(line));
  return lines;
}

}  // namespace exc
