// The server's record of calls: one line per call on standard error, saying who called from
// where, which operation, how long it took and how it ended. Never the requests or answers.
// Refused binds and failed authentications get a line each too, with the peer and the reason.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "rpcrt/base/mutex.h"
#include "rpcrt/server/server.h"

namespace zelqa::server {

// "2026-12-05T18:40:00Z call from 127.0.0.1:50432 account ZELQA\alice op 0 42 ms succeeded";
// an unauthenticated caller's account is "-".
std::string FormatCallLine(std::chrono::system_clock::time_point when,
                           const rpcrt::server::CallContext& call, std::chrono::milliseconds took,
                           std::string_view outcome);

// "2026-12-05T18:40:00Z bind refused from 127.0.0.1:50432: authentication type 9: ...".
std::string FormatRejectionLine(std::chrono::system_clock::time_point when,
                                const rpcrt::server::Rejection& rejection);

class CallLog {
 public:
  // Writes the line for a call that ended now, whole, so that lines of concurrent calls never
  // interleave.
  void Record(const rpcrt::server::CallContext& call, std::chrono::milliseconds took,
              std::string_view outcome);
  void Record(const rpcrt::server::Rejection& rejection);

 private:
  void Write(const std::string& line);

  rpcrt::base::Mutex mutex_;  // one line at a time on standard error
};

}  // namespace zelqa::server
