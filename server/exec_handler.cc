#include "server/exec_handler.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "rpcrt/ndr/utf16.h"

extern char** environ;

namespace zelqa::server {
namespace {

std::string Seconds(uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", ms / 1000.0);
  return text;
}

DoRpcOutcome Failure(const std::string& text) {
  return DoRpcOutcome{false, {}, rpcrt::Utf8ToUtf16(text)};
}

std::string WithoutTrailingLineBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

ExecHandler::ExecHandler(std::vector<std::string> command, ChildLimits limits)
    : command_(std::move(command)), limits_(limits) {}

std::vector<std::string> ExecHandler::Environment(const std::u16string& request1,
                                                  const std::u16string& request2,
                                                  const rpcrt::server::CallContext& call) const {
  const std::pair<const char*, std::string> ours[] = {
      {"ZELQA_REQUEST1=", rpcrt::Utf16ToUtf8(request1)},
      {"ZELQA_REQUEST2=", rpcrt::Utf16ToUtf8(request2)},
      {"ZELQA_CALLER_ADDRESS=", call.client_address},
      {"ZELQA_CALLER_ACCOUNT=", call.peer_name},
  };
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    if (std::none_of(std::begin(ours), std::end(ours),
                     [&](const auto& o) { return entry.starts_with(o.first); }))
      env.emplace_back(entry);
  }
  for (const auto& [name, value] : ours) env.push_back(name + value);
  return env;
}

DoRpcOutcome ExecHandler::Call(const std::u16string& request1, const std::u16string& request2,
                               const rpcrt::server::CallContext& call, std::string& summary) {
  if (request1.find(u'\0') != std::u16string::npos ||
      request2.find(u'\0') != std::u16string::npos) {
    summary = "a request holds a NUL character";
    return Failure("A request holds a NUL character, which a command cannot be given.");
  }
  ChildResult r = children_.Run(command_, Environment(request1, request2, call), limits_);

  using End = ChildResult::End;
  std::string text;
  switch (r.end) {
    case End::kExited:
      if (r.exit_code == 0) {
        summary = "succeeded";
        return DoRpcOutcome{true, rpcrt::Utf8ToUtf16(r.out), {}};
      }
      summary = "command exited with status " + std::to_string(r.exit_code);
      text = WithoutTrailingLineBreaks(r.err);
      if (text.empty())
        text = "The command exited with status " + std::to_string(r.exit_code) + ".";
      break;
    case End::kSignaled:
      summary = "command killed by signal " + std::to_string(r.exit_code);
      text = WithoutTrailingLineBreaks(r.err);
      if (text.empty())
        text = "The command was killed by signal " + std::to_string(r.exit_code) + ".";
      break;
    case End::kTimedOut:
      summary = "command timed out";
      text = "The command did not finish within " + Seconds(limits_.timeout_ms) +
             " s and was stopped.";
      break;
    case End::kTooMuchOutput:
      summary = "command output too large";
      text = "The command wrote more than " + std::to_string(limits_.max_output) +
             " bytes of output and was stopped.";
      break;
    case End::kCancelled:
      summary = "cancelled, the server is stopping";
      text = "The server is stopping; the command was stopped.";
      break;
    case End::kNotStarted:
      summary = "command not started: " + r.error;
      text = "The command could not be started: " + r.error;
      break;
  }
  return Failure(text);
}

}  // namespace zelqa::server
