#include "platform/guid.h"

#include <cstdlib>
#include <cstring>
#include <span>

#include "rpcrt/ndr/byte_order.h"

#include "platform/fault_injection.h"
#include "platform/secure_memory.h"

HRESULT CoCreateGuid(GUID* guid) {
  if (guid == nullptr) return E_INVALIDARG;
  if (platform::TakeInjectedGuidFailure()) return E_FAIL;
  uint8_t bytes[16];
  if (!platform::FillRandom(bytes, sizeof bytes)) return E_FAIL;
  // RFC 4122 layout: version 4 in the top nibble of Data3, variant 10xx in Data4[0].
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
  const std::span<const uint8_t> octets = bytes;
  guid->Data1 = rpcrt::LoadBe<uint32_t>(octets);
  guid->Data2 = rpcrt::LoadBe<uint16_t>(octets.subspan(4));
  guid->Data3 = rpcrt::LoadBe<uint16_t>(octets.subspan(6));
  std::memcpy(guid->Data4, bytes + 8, 8);
  return S_OK;
}

RPC_STATUS UuidToStringW(const UUID* uuid, WCHAR** string_uuid) {
  if (string_uuid == nullptr) return RPC_S_INVALID_ARG;
  *string_uuid = nullptr;
  if (uuid == nullptr) return RPC_S_INVALID_ARG;

  static constexpr char kHex[] = "0123456789abcdef";
  constexpr size_t kLength = 36;
  auto* out = static_cast<WCHAR*>(std::malloc((kLength + 1) * sizeof(WCHAR)));
  if (out == nullptr) return RPC_S_OUT_OF_MEMORY;

  WCHAR* p = out;
  const auto put = [&p](uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *p++ = kHex[(value >> shift) & 0xF];
  };
  put(uuid->Data1, 8);
  *p++ = u'-';
  put(uuid->Data2, 4);
  *p++ = u'-';
  put(uuid->Data3, 4);
  *p++ = u'-';
  put(uuid->Data4[0], 2);
  put(uuid->Data4[1], 2);
  *p++ = u'-';
  for (int i = 2; i < 8; ++i) put(uuid->Data4[i], 2);
  *p = u'\0';
  *string_uuid = out;
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeW(WCHAR** string) {
  if (string == nullptr) return RPC_S_INVALID_ARG;
  std::free(*string);
  *string = nullptr;
  return RPC_S_OK;
}
