#include "common/unrestricted_files_access_permissions.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "exc/exceptions.h"

namespace common {

void CUnrestrictedFilesAccessPermissions::ApplyTo(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 ||
      ::chmod(path.c_str(), S_ISDIR(st.st_mode) ? kDirectoryMode : kFileMode) != 0) {
    throw exc::runtime_exc_t("Failed to grant unrestricted access to [%1]: %2", path,
                             std::strerror(errno));
  }
}

}  // namespace common
