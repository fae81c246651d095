// The four entry points. Each copies its arguments, hands the work to the connection
// registry and turns the outcome into an HRESULT; no exception crosses the boundary.
#define ZELQA_BUILDING_LIBRARY
#include "zelqa/zelqa_rpc_client.h"

#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>

#include "api/connection_registry.h"
#include "api/lib_str.h"
#include "api/secret_text.h"

namespace {

// The host's text type is wchar_t on Windows and char16_t elsewhere: the same UTF-16 code
// units under two names.
static_assert(sizeof(zelqa_char_t) == sizeof(char16_t));
const char16_t* In(const zelqa_char_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}
zelqa_char_t* Out(char16_t* block) {
  return reinterpret_cast<zelqa_char_t*>(block);
}

// Stores the error text of a failure; the export then returns E_FAIL.
zelqa_hresult_t Fail(const std::exception& e, zelqa_char_t** errorText) noexcept {
  *errorText = Out(api::AllocErrorText(e));
  return ZELQA_E_FAIL;
}

// Stores a result block; the heap running dry is a failure like any other.
zelqa_hresult_t Succeed(const std::u16string& text, zelqa_char_t** out,
                        zelqa_char_t** errorText) noexcept {
  zelqa_char_t* block = Out(api::AllocLibStr(text));
  if (block == nullptr) return Fail(std::bad_alloc(), errorText);
  *out = block;
  return ZELQA_S_OK;
}

}  // namespace

extern "C" {

ZELQA_EXPORT zelqa_hresult_t ZELQA_CALL RpcConnect(const zelqa_char_t* host, uint32_t port,
                                                   const zelqa_char_t* userName,
                                                   const zelqa_char_t* password,
                                                   const zelqa_char_t* serviceName,
                                                   zelqa_char_t** connectionId,
                                                   zelqa_char_t** errorText) {
  try {
    api::CConnectionRegistry& registry = api::GetConnectionRegistry();
    const api::secret_text_t secret(In(password));
    const std::u16string id =
        registry.Connect(In(host), port, In(userName), secret.str(), In(serviceName));
    return Succeed(id, connectionId, errorText);
  } catch (const std::exception& e) {
    return Fail(e, errorText);
  }
}

ZELQA_EXPORT zelqa_hresult_t ZELQA_CALL DoRpcCall(const zelqa_char_t* connectionId,
                                                  const zelqa_char_t* request1,
                                                  const zelqa_char_t* request2,
                                                  zelqa_char_t** answer, zelqa_char_t** errorText) {
  try {
    std::u16string result;
    api::CConnectionRegistry& registry = api::GetConnectionRegistry();
    registry.Call(In(connectionId), In(request1), In(request2), result);
    return Succeed(result, answer, errorText);
  } catch (const std::exception& e) {
    return Fail(e, errorText);
  }
}

ZELQA_EXPORT zelqa_hresult_t ZELQA_CALL RpcDisconnect(const zelqa_char_t* connectionId,
                                                      zelqa_char_t** errorText) {
  try {
    api::CConnectionRegistry& registry = api::GetConnectionRegistry();
    const std::u16string id(In(connectionId));
    rpcrt::base::RecursiveMutexLock guard(api::RegistryLock());
    registry.Disconnect(id);
    return ZELQA_S_OK;
  } catch (const std::exception& e) {
    return Fail(e, errorText);
  }
}

ZELQA_EXPORT void ZELQA_CALL LibStrFree(zelqa_char_t* str) {
  std::free(str);
}

}  // extern "C"
