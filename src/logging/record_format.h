// Turns one log call into one record: the text split into lines, each line with its prefix
// and terminator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace logging::format {

// Layouts: 0 is the one every logger of the library uses (time with milliseconds, thread id,
// channel tag, level mark); 1 has the time to the second, the thread id modulo 100 and the
// level name; 2 has the level name only.
inline constexpr uint32_t kLayoutDefault = 0;
inline constexpr uint32_t kLayoutNamed = 1;
inline constexpr uint32_t kLayoutBare = 2;

// Appends to `out` the record of `text`: the text is split at every "\n" (a piece after the
// last line feed counts only when it is not empty; an empty text is one empty line) and each
// line gets the prefix of `layout`, `depth` levels of two-blank indentation and `eol`.
// `tag` is the channel's tag (layout 0 only). The local time is read anew for each line.
void append_record(std::string& out, uint32_t layout, int32_t level, int32_t depth,
                   std::string_view tag, std::string_view text, std::string_view eol);

}  // namespace logging::format
