#include "util/win_reg_key.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "exc/rethrow.h"
#include "platform/registry.h"

namespace util {
namespace {

constexpr const char* kValueContext = "Cannot retrieve a registry value. Value name: [%1].";

void require_key(HKEY key) {
  if (key == nullptr) throw exc::runtime_exc_t("Registry key object is not initialized.");
}

}  // namespace

win_reg_key_t::~win_reg_key_t() {
  close();
}

HKEY* win_reg_key_t::operator&() {
  if (key_ != nullptr) {
    throw exc::runtime_exc_t(
        "operator& cannot be called because registry key already initialized.");
  }
  return &key_;
}

LSTATUS win_reg_key_t::close() {
  if (key_ == nullptr) return 0;
  const LSTATUS status = RegCloseKey(key_);
  key_ = nullptr;
  return status;
}

std::string win_reg_key_t::get_string(const std::string& value_name) const {
  try {
    require_key(key_);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key_, value_name.c_str(), nullptr, &type, nullptr, &size);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS)) {
      throw exc::win_sys_exc_t(static_cast<uint32_t>(status));
    }
    // One byte more than asked for, zero-filled, so that a value stored without its NUL is
    // still terminated.
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    status = RegQueryValueExA(key_, value_name.c_str(), nullptr, &type,
                              reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS)) {
      throw exc::win_sys_exc_t(static_cast<uint32_t>(status));
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      throw exc::runtime_exc_t("Unexpected registry type: [%1].", type);
    }
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
  } catch (const std::exception& e) {
    exc::rethrow_with_context(kValueContext, value_name, e);
  }
}

uint32_t win_reg_key_t::get_dword(const std::string& value_name) const {
  try {
    require_key(key_);
    DWORD type = REG_NONE;
    uint32_t value = 0;
    DWORD size = sizeof value;
    const LSTATUS status = RegQueryValueExA(key_, value_name.c_str(), nullptr, &type,
                                            reinterpret_cast<LPBYTE>(&value), &size);
    // A longer value of another type reports "more data" with its type filled in: the type
    // is the better explanation.
    if ((status == static_cast<LSTATUS>(ERROR_SUCCESS) ||
         status == static_cast<LSTATUS>(ERROR_MORE_DATA)) &&
        type != REG_DWORD) {
      throw exc::runtime_exc_t("Unexpected registry type: [%1].", type);
    }
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS)) {
      throw exc::win_sys_exc_t(static_cast<uint32_t>(status));
    }
    return value;
  } catch (const std::exception& e) {
    exc::rethrow_with_context(kValueContext, value_name, e);
  }
}

boost::shared_ptr<win_reg_key_t> win_reg_key_t::open_subkey(
    const std::u16string& path, std::initializer_list<LSTATUS> tolerated) {
  // The owner exists before the key is opened, so an opened key always has one.
  auto key = boost::make_shared<win_reg_key_t>();
  const LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &*key);
  if (status == static_cast<LSTATUS>(ERROR_SUCCESS)) return key;
  if (std::find(tolerated.begin(), tolerated.end(), status) != tolerated.end()) return {};
  throw exc::win_sys_exc_t("Failed to open subkey. Path: [%1].", path,
                           static_cast<uint32_t>(status));
}

}  // namespace util
