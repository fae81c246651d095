// CUnrestrictedFilesAccessPermissions: the permissions that files shared between users of
// the host (logs, dumps, exchange files) are given: everyone may read and write.
#pragma once

#include <sys/types.h>

#include <string>

namespace common {

class CUnrestrictedFilesAccessPermissions {
 public:
  static constexpr mode_t kFileMode = 0666;
  static constexpr mode_t kDirectoryMode = 0777;

  // Sets the mode of `path` (a file or a directory); the process umask does not apply.
  // Raises exc::runtime_exc_t naming the path and the reason on failure.
  void ApplyTo(const std::string& path) const;
};

}  // namespace common
