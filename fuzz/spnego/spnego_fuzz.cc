// Feeds arbitrary bytes to both negotiation token decoders. A token that decodes must encode
// back to something that decodes to the same fields.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz/refusal.h"
#include "rpcrt/security/spnego/negotiation_token.h"

using namespace rpcrt::security::spnego;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  fuzz::Refused([&] {
    const NegTokenInit init = DecodeInit(input);
    const NegTokenInit again = DecodeInit(EncodeInit(init));
    if (again.mech_types != init.mech_types || again.mech_token != init.mech_token ||
        again.mech_types_der != init.mech_types_der) {
      std::abort();
    }
  });
  fuzz::Refused([&] {
    const NegTokenResp resp = DecodeResp(input);
    const NegTokenResp again = DecodeResp(EncodeResp(resp));
    if (again.neg_state != resp.neg_state || again.supported_mech != resp.supported_mech ||
        again.response_token != resp.response_token || again.mech_list_mic != resp.mech_list_mic) {
      std::abort();
    }
  });
  return 0;
}
