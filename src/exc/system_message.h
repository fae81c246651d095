// The system's message text for a code, through FormatMessageW with an allocated buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/win_types.h"

namespace exc {

// The whole text converted to UTF-8 (a trailing "\r\n" kept), or nothing when the system has
// no text. `flags` must include FORMAT_MESSAGE_ALLOCATE_BUFFER. Throws the conversion's
// exc::win_sys_exc_t when the text cannot be converted.
std::optional<std::string> system_message_text(DWORD flags, LPCVOID source, uint32_t code,
                                               DWORD language);

}  // namespace exc
