// A host that connects, calls and returns from main without RpcDisconnect, as hosts do.
//
//   exit_host PORT PASSWORD_FILE
//
// Its exit handler is registered before the library builds anything, so it runs after every
// static of the library is gone. It fails (status 3) when a logon token is still open or a
// freed block still held the password, and with status 2 when the session did not work.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/logon.h"
#include "tests/secrets/freed_block_scanner.h"
#include "zelqa/zelqa_rpc_client.h"

namespace {

void CheckWhatTheLibraryLeft() {
  const std::vector<std::string> unwiped = zelqa::testing::FreedBlockScanner::Stop();
  for (const std::string& block : unwiped) std::fprintf(stderr, "unwiped: %s\n", block.c_str());
  const size_t tokens = OpenTokenHandles();
  if (tokens != 0) std::fprintf(stderr, "%zu logon tokens left open\n", tokens);
  std::fflush(stderr);
  if (!unwiped.empty() || tokens != 0) std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::atexit(CheckWhatTheLibraryLeft);
  std::string password;
  std::getline(std::ifstream(argv[2]), password);
  std::u16string password16(password.begin(), password.end());
  std::vector<std::string> needles = {std::string(reinterpret_cast<const char*>(password16.data()),
                                                  password16.size() * sizeof(char16_t)),
                                      password};
  zelqa::testing::FreedBlockScanner::Start(std::move(needles));
  // This host's own copies are wiped before they are freed, as the library's must be.
  struct Wipe {
    std::string& narrow;
    std::u16string& wide;
    ~Wipe() {
      explicit_bzero(narrow.data(), narrow.size());
      explicit_bzero(wide.data(), wide.size() * sizeof(char16_t));
    }
  } wipe{password, password16};

  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = nullptr;
  zelqa_char_t* answer = nullptr;
  if (RpcConnect(u"127.0.0.1", static_cast<uint32_t>(std::atoi(argv[1])), u"ZELQA\\alice",
                 password16.c_str(), u"zelqa", &id, &error) != 0 ||
      DoRpcCall(id, u"one", u"two", &answer, &error) != 0) {
    LibStrFree(error);
    return 2;
  }
  LibStrFree(answer);
  LibStrFree(id);
  return 0;  // the connection stays registered
}
