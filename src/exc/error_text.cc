#include "exc/error_text.h"

#include <boost/system/error_code.hpp>

#include "exc/string_conv.h"
#include "exc/system_message.h"
#include "platform/system_text.h"

namespace exc {
namespace {

constexpr DWORD kEnglishUnitedStates = 1033;
constexpr uint32_t kWininetFirst = 12000;
constexpr uint32_t kWininetCount = 176;

}  // namespace

std::string get_error_text(uint32_t code) {
  if (const char* known = find_known_error_text(code)) return known;

  std::optional<std::string> found = system_message_text(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, kEnglishUnitedStates);
  if (!found && code - kWininetFirst < kWininetCount) {
    found = system_message_text(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE,
                                GetModuleHandleW(u"wininet.dll"), code, 0);
  }
  std::string text =
      found ? std::move(*found)
            : ansi_to_utf8(boost::system::system_category().message(static_cast<int>(code)));
  if (text.size() >= 2 && text.ends_with("\r\n")) text.resize(text.size() - 2);
  return text;
}

}  // namespace exc
