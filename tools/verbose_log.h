// --verbose for the library's log records. The library keeps its records to itself unless the
// registry store names a log file, so this sets up a private copy of the store (the caller's
// values plus "LogFile" and "RpcVerboseLog") in a temporary directory, points
// ZELQA_REGISTRY_FILE at it before the library is loaded, and copies the records out.
#pragma once

#include <filesystem>
#include <ostream>

namespace zelqa::tools {

class VerboseLog {
 public:
  // Throws std::runtime_error when the temporary store cannot be written.
  VerboseLog();
  ~VerboseLog();  // removes the directory and restores ZELQA_REGISTRY_FILE
  VerboseLog(const VerboseLog&) = delete;
  VerboseLog& operator=(const VerboseLog&) = delete;

  // Copies the records written since the last call to `out`.
  void CopyTo(std::ostream& out);

 private:
  std::filesystem::path dir_;
  std::filesystem::path log_;
  std::streamoff copied_ = 0;
  bool had_env_ = false;
  std::string old_env_;
};

}  // namespace zelqa::tools
