// Feeds arbitrary bytes to the NTLM acceptor (as NEGOTIATE, as AUTHENTICATE after a fixed
// NEGOTIATE, as a sealed message after a fixed handshake) and to the initiator (as
// CHALLENGE). Any outcome but RpcError is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/refusal.h"
#include "fuzz_setup.h"

using namespace rpcrt::security;
using namespace rpcrt::security::ntlm;
using namespace rpcrt::security::ntlm::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 4;
  std::span<const uint8_t> input(data + 1, size - 1);
  std::vector<uint8_t> out;
  fuzz::Refused([&] {
    switch (mode) {
      case kNegotiateToAcceptor: {
        auto server = CreateAcceptor(Accounts(), FixedAcceptor());
        server->Step(input, out);
        break;
      }
      case kAuthenticateToAcceptor: {
        auto client = CreateInitiator(User(), FixedInitiator());
        auto server = CreateAcceptor(Accounts(), FixedAcceptor());
        std::vector<uint8_t> negotiate, challenge;
        client->Step({}, negotiate);
        server->Step(negotiate, challenge);
        server->Step(input, out);
        if (server->IsEstablished()) (void)server->PeerName();
        break;
      }
      case kChallengeToInitiator: {
        auto client = CreateInitiator(User(), FixedInitiator());
        client->Step({}, out);
        client->Step(input, out);
        break;
      }
      case kSealedToAcceptor: {
        auto client = CreateInitiator(User(), FixedInitiator());
        auto server = CreateAcceptor(Accounts(), FixedAcceptor());
        std::vector<uint8_t> a, b, c, d;
        client->Step({}, a);
        server->Step(a, b);
        client->Step(b, c);
        server->Step(c, d);
        if (input.size() < 16) break;
        std::vector<uint8_t> sig(input.begin(), input.begin() + 16);
        std::vector<uint8_t> body(input.begin() + 16, input.end());
        IoBuffer buffer{IoBuffer::Kind::kData, body};
        server->Unseal({&buffer, 1}, sig);
        break;
      }
    }
  });
  return 0;
}
