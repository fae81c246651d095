// The built-in English message texts behind FormatMessageW: the system's table and the
// wininet module's table. Texts are stored without the "\r\n" that FormatMessageW appends.
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace platform {

// The system text for a Win32 error code or an HRESULT (an HRESULT of facility Win32,
// 0x8007xxxx, has the text of its Win32 code); none when there is none.
std::optional<std::u16string> FindSystemText(DWORD code);

// The wininet module's text for a code in 12001..12175; null when there is none.
const char16_t* FindWininetText(DWORD code);

}  // namespace platform
