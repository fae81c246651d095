#include "platform/guid.h"

#include "platform/fault_injection.h"
#include "platform/win/windows_api.h"

namespace {

static_assert(sizeof(GUID) == sizeof(win32::GUID));

}  // namespace

HRESULT CoCreateGuid(GUID* guid) {
  if (guid == nullptr) return E_INVALIDARG;
  if (platform::TakeInjectedGuidFailure()) return E_FAIL;
  return win32::CoCreateGuid(reinterpret_cast<win32::GUID*>(guid));
}

RPC_STATUS UuidToStringW(const UUID* uuid, WCHAR** string_uuid) {
  return win32::UuidToStringW(reinterpret_cast<win32::UUID*>(const_cast<UUID*>(uuid)),
                              reinterpret_cast<win32::RPC_WSTR*>(string_uuid));
}

RPC_STATUS RpcStringFreeW(WCHAR** string) {
  return win32::RpcStringFreeW(reinterpret_cast<win32::RPC_WSTR*>(string));
}
