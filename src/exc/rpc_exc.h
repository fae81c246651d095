// The exception of a failed remote call: its RPC status and, as its one line, the system's
// text for that status in the user's default language (trailing line break kept).
#pragma once

#include <cstdint>

#include "exc/exc_base.h"

namespace exc {

class rpc_exc_t : public exc_base_t {
 public:
  // "RPC call failed with error: [000006ba]" when the system has no text for the status.
  explicit rpc_exc_t(uint32_t status);
  rpc_exc_t(const rpc_exc_t&) = default;
  ~rpc_exc_t() override;

  // The status: an RPC_S_*, EPT_S_* or Win32 code, or the code of the exception that ended
  // the call. Clones and records made through the base interface do not carry it.
  uint32_t error_code() const { return error_code_; }

 private:
  uint32_t error_code_;
};

}  // namespace exc
