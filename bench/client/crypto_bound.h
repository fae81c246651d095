// What sealing alone costs a call: the RC4 and HMAC-MD5 passes that NTLM packet privacy
// makes over the request and the reply, on both sides (sealed by one, unsealed by the other),
// done here with nettle. No call can be faster than the wire plus these passes.
#pragma once

#include <nettle/arcfour.h>
#include <nettle/hmac.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

class CryptoBound {
 public:
  CryptoBound(size_t request_bytes, size_t reply_bytes);
  // The four RC4 passes and four HMAC-MD5 passes of one call.
  void Run();

 private:
  void Pass(std::vector<uint8_t>& data);

  std::vector<uint8_t> request_;
  std::vector<uint8_t> reply_;
  hmac_md5_ctx mac_;
  arcfour_ctx rc4_;
};

}  // namespace bench
