// Writes the seed corpus of fuzz_ntlm_messages: one valid input per mode, made by the fixed
// handshake the target replays. Usage: ntlm_fuzz_seeds <corpus dir>
#include <cstdio>
#include <string>

#include "fuzz_setup.h"

using namespace rpcrt::security;
using namespace rpcrt::security::ntlm;
using namespace rpcrt::security::ntlm::fuzzing;

static void Write(const std::string& path, uint8_t mode, const std::vector<uint8_t>& body) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fputc(mode, f);
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  auto client = CreateInitiator(User(), FixedInitiator());
  auto server = CreateAcceptor(Accounts(), FixedAcceptor());
  std::vector<uint8_t> negotiate, challenge, authenticate, last;
  client->Step({}, negotiate);
  server->Step(negotiate, challenge);
  client->Step(challenge, authenticate);
  server->Step(authenticate, last);

  std::vector<uint8_t> body = {'s', 'e', 'e', 'd', ' ', 'b', 'o', 'd', 'y'};
  std::vector<uint8_t> sealed(16);
  IoBuffer buffer{IoBuffer::Kind::kData, body};
  client->Seal({&buffer, 1}, sealed);
  sealed.insert(sealed.end(), body.begin(), body.end());

  Write(dir + "/negotiate", kNegotiateToAcceptor, negotiate);
  Write(dir + "/authenticate", kAuthenticateToAcceptor, authenticate);
  Write(dir + "/challenge", kChallengeToInitiator, challenge);
  Write(dir + "/sealed", kSealedToAcceptor, sealed);
  return 0;
}
