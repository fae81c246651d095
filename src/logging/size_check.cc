#include "logging/size_check.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/make_shared.hpp>

#include "exc/rethrow.h"
#include "logging/registry_keys.h"
#include "platform/registry.h"
#include "util/file_system.h"
#include "util/win_reg_key.h"
#include "util/zip_writer.h"

namespace logging {
namespace {

constexpr std::string_view kArchiveExtension = ".log.gz";

// Reads a REG_DWORD or REG_QWORD value through the wide query; false when absent or of
// another type.
bool query_number(HKEY key, const char16_t* name, bool allow_qword, uint64_t& out) {
  DWORD type = REG_NONE;
  unsigned char data[8] = {};
  DWORD size = sizeof data;
  if (RegQueryValueExW(key, name, nullptr, &type, data, &size) !=
      static_cast<LSTATUS>(ERROR_SUCCESS)) {
    return false;
  }
  if (type == REG_DWORD && size >= 4) {
    uint32_t value;
    std::memcpy(&value, data, sizeof value);
    out = value;
    return true;
  }
  if (allow_qword && type == REG_QWORD && size >= 8) {
    std::memcpy(&out, data, sizeof out);
    return true;
  }
  return false;
}

}  // namespace

aging_settings_t read_aging_settings() noexcept {
  aging_settings_t settings;
  try {
    const auto key = util::win_reg_key_t::open_subkey(
        kProductKey,
        {static_cast<LSTATUS>(ERROR_PATH_NOT_FOUND), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)});
    uint64_t value = 0;
    // The count only means something together with a size it was configured for.
    if (key && query_number(key->get(), u"AgentMaxLogSize", true, value)) {
      settings.max_size = value;
      if (query_number(key->get(), u"AgentMaxLogCount", false, value)) {
        settings.ages_limit = static_cast<int32_t>(static_cast<uint32_t>(value));
      }
    }
  } catch (const std::exception&) {
    // An unreadable registry leaves the defaults.
  }
  if (settings.ages_limit < 0 || settings.ages_limit > aging_settings_t::kMaxAgesLimit) {
    settings.ages_limit = aging_settings_t::kMaxAgesLimit;
  }
  return settings;
}

const aging_settings_t& process_aging_settings() {
  static const aging_settings_t settings = read_aging_settings();
  return settings;
}

bool check_log_size(const boost::shared_ptr<receiver::log_file_t>& receiver) {
  return check_log_size(receiver, process_aging_settings());
}

bool check_log_size(const boost::shared_ptr<receiver::log_file_t>& receiver,
                    const aging_settings_t& settings) {
  try {
    // Another process sharing the file may have aged it since this one last looked.
    const std::shared_ptr<void> hold = receiver->hold_exclusive();
    const uint64_t size = receiver->size();
    if (settings.max_size == 0 || size < settings.max_size) return false;
    const std::string archive = receiver->path() + ".gz";
    age_files(archive, kArchiveExtension, settings.ages_limit);
    receiver->take_archive(boost::make_shared<util::zip_writer_t>(archive));
    return true;
  } catch (const std::exception& e) {
    std::string path;
    try {
      path = receiver->path();
    } catch (const std::exception&) {
    }
    exc::rethrow_with_context("Unable to validate log size limit. Log path: [%1].", path, e);
  }
}

std::string aged_name(std::string_view file, std::string_view ext, uint32_t n) {
  if (n == 0) return std::string(file);
  const std::string number = std::to_string(n);
  if (file.size() >= ext.size() &&
      boost::algorithm::iequals(file.substr(file.size() - ext.size()), ext)) {
    return std::string(file.substr(0, file.size() - ext.size())) + "." + number + std::string(ext);
  }
  const size_t dot = file.rfind('.');
  if (dot == std::string_view::npos) return std::string(file) + "." + number;
  if (dot + 1 == file.size()) return std::string(file) + number;
  if (boost::algorithm::iequals(file.substr(dot + 1), ext)) {
    return std::string(file.substr(0, dot)) + "." + number + std::string(file.substr(dot));
  }
  return std::string(file) + "." + number;
}

void age_files(const std::string& file, std::string_view ext, int32_t limit) {
  try {
    // Oldest first, so that no move ever lands on a copy that has not moved on yet.
    for (int64_t n = limit; n >= 0; --n) {
      const std::string name = aged_name(file, ext, static_cast<uint32_t>(n));
      if (!util::fs::file_exists(name)) continue;
      if (n == limit) {
        util::fs::delete_file(name);
      } else {
        util::fs::move_file_replace(name, aged_name(file, ext, static_cast<uint32_t>(n + 1)));
      }
    }
  } catch (const std::exception& e) {
    exc::rethrow_with_context(
        "Cannot age file. File path: [%1]. Extension: [%2]. Ages limit: [%3].", file, ext, limit,
        e);
  }
}

}  // namespace logging
