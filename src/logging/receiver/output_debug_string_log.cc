#include "logging/receiver/output_debug_string_log.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <exception>

#include "common/win_reg_key.h"
#include "exc/exceptions.h"
#include "logging/registry_keys.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "util/zip_writer.h"

namespace logging::receiver {

COutputDebugStringLog::COutputDebugStringLog() {
  target_.sin_family = AF_INET;
  target_.sin_port = htons(kDefaultPort);
  target_.sin_addr.s_addr = inet_addr("127.0.0.1");
}

COutputDebugStringLog::~COutputDebugStringLog() {
  if (socket_ >= 0) ::close(socket_);
}

void COutputDebugStringLog::write(const std::string& record) {
  OutputDebugStringA(record.c_str());
  if (socket_ < 0) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    // Without a socket nothing is sent; the next record tries again.
    if (socket_ < 0) return;
    read_settings();
  }
  if (!external_on_) return;
  // Best effort: a collector that is down must not slow down or fail the logging thread.
  (void)::sendto(socket_, record.data(), record.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&target_), sizeof target_);
}

void COutputDebugStringLog::take_archive(boost::shared_ptr<util::zip_writer_t> archive) {
  archive.reset();
}

void COutputDebugStringLog::read_settings() noexcept {
  win::win_reg_key_t key;
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
      target_.sin_addr.s_addr = inet_addr(key.get_string("ExtLogHost").c_str());
    } catch (const std::exception&) {
    }
    try {
      target_.sin_port = htons(static_cast<uint16_t>(key.get_dword("ExtLogPort") & 0xFFFF));
    } catch (const std::exception&) {
    }
  }
  key.close();
}

}  // namespace logging::receiver
