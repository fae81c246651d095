#include "bench/client/crypto_bound.h"

namespace bench {
namespace {

const uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

}  // namespace

// The keys are set once, as a session sets them: a message costs only the passes.
CryptoBound::CryptoBound(size_t request_bytes, size_t reply_bytes)
    : request_(request_bytes, 0x5a), reply_(reply_bytes, 0xa5) {
  hmac_md5_set_key(&mac_, sizeof kKey, kKey);
  arcfour_set_key(&rc4_, sizeof kKey, kKey);
}

void CryptoBound::Run() {
  for (int side = 0; side < 2; ++side) {
    Pass(request_);
    Pass(reply_);
  }
}

// One side's pass over a message: the signature's HMAC over the plain text, RC4 over it.
void CryptoBound::Pass(std::vector<uint8_t>& data) {
  hmac_md5_update(&mac_, data.size(), data.data());
  uint8_t digest[MD5_DIGEST_SIZE];
  hmac_md5_digest(&mac_, sizeof digest, digest);
  arcfour_crypt(&rc4_, data.size(), data.data(), data.data());
  data[0] ^= digest[0];  // keeps the digest alive
}

}  // namespace bench
