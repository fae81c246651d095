// The few file operations that log aging needs. Failures raise exc::runtime_exc_t whose text
// names the path, the system error code and its description.
#pragma once

#include <string>

namespace util::fs {

// Whether `path` names an existing file (or directory).
bool file_exists(const std::string& path);

// Removes the file `path`; an absent file is an error.
void delete_file(const std::string& path);

// Moves `from` to `to`, replacing a file there. Across file systems, where rename cannot, the
// content is copied next to the target first and renamed over it, then `from` is removed, so
// a failure at any point leaves at least one complete copy.
void move_file_replace(const std::string& from, const std::string& to);

}  // namespace util::fs
