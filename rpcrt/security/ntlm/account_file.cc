#include "rpcrt/security/ntlm/account_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "rpcrt/security/ntlm/text.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

namespace {

// Holds file contents that include passwords; wiped when it goes.
struct SecretText {
  std::string text;
  ~SecretText() {
    text.resize(text.capacity());
    SecureWipe(text.data(), text.size());
  }
};

}  // namespace

std::vector<Identity> ReadAccountFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw RpcError(kSecPkgError,
                   "cannot open NTLM account file " + path + ": " + std::strerror(errno));
  }
  // Sized up front so that no reallocation leaves a copy of the passwords behind.
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) throw RpcError(kSecPkgError, "cannot read NTLM account file " + path);
  SecretText contents;
  contents.text.resize(static_cast<size_t>(size));
  if (!in.read(contents.text.data(), size))
    throw RpcError(kSecPkgError, "cannot read NTLM account file " + path);
  return ParseAccountFile(contents.text, path);
}

std::vector<Identity> ParseAccountFile(const std::string& text, const std::string& origin) {
  std::vector<Identity> accounts;
  size_t line_no = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t c1 = line.find(':');
    const size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
    if (c2 == std::string_view::npos || c2 == c1 + 1) {
      throw RpcError(kSecPkgError, "NTLM account file " + origin + " line " +
                                       std::to_string(line_no) + ": expected DOMAIN:user:password");
    }
    Identity& account = accounts.emplace_back();
    account.user = Utf8ToUtf16(line.substr(c1 + 1, c2 - c1 - 1));
    account.domain = Utf8ToUtf16(line.substr(0, c1));
    account.password = Utf8ToUtf16(line.substr(c2 + 1));
  }
  return accounts;
}

Identity CurrentUserIdentity() {
  const char* path = std::getenv("NTLM_USER_FILE");
  if (path == nullptr || *path == '\0') {
    throw RpcError(kSecPkgError,
                   "no NTLM credentials given and NTLM_USER_FILE names no account file");
  }
  const std::vector<Identity> accounts = ReadAccountFile(path);
  if (accounts.empty())
    throw RpcError(kSecPkgError, std::string("NTLM account file ") + path + " has no entry");
  return accounts.front();
}

}  // namespace rpcrt::security::ntlm
