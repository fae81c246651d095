#include "common/options.h"

#include <memory>

#include "platform/registry.h"

namespace common {
namespace {

struct key_closer_t {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using owned_key = std::unique_ptr<HKEY__, key_closer_t>;

// The REG_DWORD value of that name, if the key has one.
bool query_dword(HKEY key, const char16_t* name, DWORD& value) {
  DWORD type = REG_NONE;
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size) !=
          static_cast<LSTATUS>(ERROR_SUCCESS) ||
      type != REG_DWORD || size != sizeof data) {
    return false;
  }
  value = data;
  return true;
}

void override_u32(HKEY key, const char16_t* name, uint32_t& option) {
  DWORD value = 0;
  if (query_dword(key, name, value)) option = value;
}

void override_bool(HKEY key, const char16_t* name, bool& option) {
  DWORD value = 0;
  if (query_dword(key, name, value)) option = value != 0;
}

options_t load_options() {
  options_t options;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, options.ProductKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                    &raw) != static_cast<LSTATUS>(ERROR_SUCCESS)) {
    return options;  // no product key: every option keeps its default
  }
  const owned_key key(raw);
  override_u32(raw, u"RpcRetryCount", options.RpcRetryCount);
  override_u32(raw, u"RpcRetryIntervalMs", options.RpcRetryIntervalMs);
  override_bool(raw, u"RpcReconnectOnRetry", options.RpcReconnectOnRetry);
  override_bool(raw, u"UniqueBindingOff", options.UniqueBindingOff);
  override_u32(raw, u"CommonLibCtxSetting", options.CommonLibCtxSetting);
  override_bool(raw, u"RpcVerboseLog", options.RpcVerboseLog);
  override_bool(raw, u"RpcRetryOnAccessDenied", options.RpcRetryOnAccessDenied);
  override_u32(raw, u"RpcEndpointMapperPort", options.RpcEndpointMapperPort);
  return options;
}

options_t& record() {
  static options_t options = load_options();
  return options;
}

}  // namespace

const options_t& GetOptions() {
  return record();
}

void ReloadOptionsForTesting() {
  record() = load_options();
}

}  // namespace common
