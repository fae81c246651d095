#include "logging/receiver/output_debug_string_log.h"

#include <exception>

#include "exc/exceptions.h"
#include "logging/registry_keys.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "util/win_reg_key.h"
#include "util/zip_writer.h"

namespace logging::receiver {

COutputDebugStringLog::COutputDebugStringLog() {
  target_.port = kDefaultPort;
  target_.address = platform::ParseIpv4Address("127.0.0.1");
}

COutputDebugStringLog::~COutputDebugStringLog() = default;

void COutputDebugStringLog::write(const std::string& record) {
  OutputDebugStringA(record.c_str());
  if (!socket_.is_open()) {
    // Without a socket nothing is sent; the next record tries again.
    if (!socket_.Open()) return;
    read_settings();
  }
  if (!external_on_) return;
  // Best effort: a collector that is down must not slow down or fail the logging thread.
  socket_.SendTo(target_, record);
}

void COutputDebugStringLog::take_archive(boost::shared_ptr<util::zip_writer_t> archive) {
  archive.reset();
}

void COutputDebugStringLog::read_settings() noexcept {
  util::win_reg_key_t key;
  // Every step stands alone: a value that cannot be read keeps its default and the reading
  // goes on with the next one.
  try {
    const LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtLogKey, 0, KEY_READ, &key);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS)) {
      throw exc::win_sys_exc_t("Failed to open registry key [%1].", kExtLogKey,
                               static_cast<uint32_t>(status));
    }
  } catch (const std::exception&) {
    key.close();
    return;
  }
  bool enabled_read = false;
  try {
    external_on_ = key.get_dword("ExtLogEnabled") != 0;
    enabled_read = true;
  } catch (const std::exception&) {
  }
  if (external_on_ || !enabled_read) {
    try {
      // A text that is no dotted address gives INADDR_NONE, used as it is.
      target_.address = platform::ParseIpv4Address(key.get_string("ExtLogHost").c_str());
    } catch (const std::exception&) {
    }
    try {
      target_.port = static_cast<uint16_t>(key.get_dword("ExtLogPort") & 0xFFFF);
    } catch (const std::exception&) {
    }
  }
  key.close();
}

}  // namespace logging::receiver
