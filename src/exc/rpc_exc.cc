#include "exc/rpc_exc.h"

#include <string_view>

#include "exc/format_message.h"
#include "exc/system_message.h"
#include "platform/system_text.h"

namespace exc {
namespace {

constexpr DWORD kUserDefaultLanguage = 0x400;

std::string status_text(uint32_t status) {
  if (auto text =
          system_message_text(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                  FORMAT_MESSAGE_FROM_SYSTEM,
                              nullptr, status, kUserDefaultLanguage)) {
    return std::move(*text);
  }
  std::string code;
  append_hex_digits(code, status, 8);
  const std::string_view args[] = {code};
  return format_simple("RPC call failed with error: [%1]", args);
}

}  // namespace

rpc_exc_t::rpc_exc_t(uint32_t status) : error_code_(status) {
  add_line(status_text(status));
}

rpc_exc_t::~rpc_exc_t() = default;

}  // namespace exc
