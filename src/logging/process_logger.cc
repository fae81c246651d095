#include "logging/process_logger.h"

#include <exception>
#include <string>

#include <boost/make_shared.hpp>

#include "logging/receiver/file_log.h"
#include "logging/registry_keys.h"
#include "logging/size_check.h"
#include "platform/win_types.h"
#include "util/win_reg_key.h"

namespace logging {

const boost::shared_ptr<log_t>& process_logger() {
  static const boost::shared_ptr<log_t> logger = [] {
    auto log = boost::make_shared<log_t>();
    // The registry is read at the first record, not here: this runs during static
    // initialisation, when the registry store may not be ready yet.
    log->set_first_write_hook(&configure_from_registry);
    return log;
  }();
  return logger;
}

boost::shared_ptr<receiver::log_file_t> attach_receiver(
    boost::shared_ptr<receiver::log_file_t> receiver) {
  return process_logger()->set_receiver(std::move(receiver));
}

void configure_from_registry(log_t& log) noexcept {
  boost::shared_ptr<util::win_reg_key_t> key;
  try {
    key = util::win_reg_key_t::open_subkey(
        kProductKey,
        {static_cast<LSTATUS>(ERROR_PATH_NOT_FOUND), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)});
  } catch (const std::exception&) {
  }
  if (!key) return;
  try {
    log.set_pending_limit(key->get_dword("LogPendingLimit"));
  } catch (const std::exception&) {
    // Missing or of another type: the default bound stays.
  }
  try {
    log.set_pending_byte_limit(key->get_dword("LogPendingBytes"));
  } catch (const std::exception&) {
  }
  std::string path;
  try {
    path = key->get_string("LogFile");
  } catch (const std::exception&) {
    return;
  }
  if (path.empty() || log.receiver()) return;
  // A path that cannot be opened yet is said on the debugger output by the receiver, which
  // keeps trying.
  log.set_size_check(true);
  log.set_receiver(
      boost::make_shared<receiver::CFileLog>(path, process_aging_settings().hard_limit()));
}

}  // namespace logging
