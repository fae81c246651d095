#include "logging/process_logger.h"

#include <exception>
#include <string>

#include <boost/make_shared.hpp>

#include "common/win_reg_key.h"
#include "exc/format_message.h"
#include "logging/line_format.h"
#include "logging/log_level.h"
#include "logging/receiver/file_log.h"
#include "logging/registry_keys.h"
#include "platform/win_types.h"

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
  boost::shared_ptr<win::win_reg_key_t> key;
  try {
    key = win::win_reg_key_t::open_subkey(
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
  std::string path;
  try {
    path = key->get_string("LogFile");
  } catch (const std::exception&) {
    return;
  }
  if (path.empty() || log.receiver()) return;
  try {
    auto file = boost::make_shared<receiver::CFileLog>(path);
    log.set_size_check(true);
    log.set_receiver(file);
  } catch (const std::exception& e) {
    // Reported through the logger itself: the record waits with the others.
    const auto tag = boost::make_shared<format::line_format_t>();
    log.write(Error, 0, tag,
              exc::format_message("Cannot write the log to the file [%1].\n%2", path, e.what()));
  }
}

}  // namespace logging
