// GUIDs: random (version 4) GUIDs from the OS random source and their text form.
#pragma once

#include "platform/win_types.h"
#include "rpcrt/status.h"

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using UUID = GUID;

// S_OK, or E_FAIL when the OS random source cannot be read (E_INVALIDARG for a null guid).
HRESULT CoCreateGuid(GUID* guid);

// 8-4-4-4-12 with lower-case hex digits; the string is released with RpcStringFreeW, which
// also nulls the caller's pointer.
RPC_STATUS UuidToStringW(const UUID* uuid, WCHAR** string_uuid);
RPC_STATUS RpcStringFreeW(WCHAR** string);

namespace platform {

// The next `count` calls of CoCreateGuid on this thread fail with E_FAIL, as they do when the
// OS random source cannot be read.
void FailNextGuidsForTesting(int count);

}  // namespace platform

inline constexpr RPC_STATUS RPC_S_OK = rpcrt::kOk;
inline constexpr RPC_STATUS RPC_S_OUT_OF_MEMORY = rpcrt::kErrorOutOfMemory;
inline constexpr RPC_STATUS RPC_S_INVALID_ARG = rpcrt::kErrorInvalidParameter;
