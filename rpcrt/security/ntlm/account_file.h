// Text files of `DOMAIN:user:password` lines, the format gss-ntlmssp reads from NTLM_USER_FILE:
// a client takes its current user from the first entry, a server its accounts from all of them.
// The password is everything after the second colon; empty lines and lines starting with '#'
// are skipped.
#pragma once

#include <string>
#include <vector>

#include "rpcrt/security/security_context.h"

namespace rpcrt::security::ntlm {

// The entries in file order. Throws RpcError(kSecPkgError) if the file cannot be read or a line
// is malformed; the message names the file (`origin` for text) and line, never the line's
// content.
std::vector<Identity> ReadAccountFile(const std::string& path);
std::vector<Identity> ParseAccountFile(const std::string& text, const std::string& origin);

// The current user's credentials on POSIX: the first entry of the file named by
// NTLM_USER_FILE. Throws RpcError(kSecPkgError) when it is unset, unreadable or empty.
Identity CurrentUserIdentity();

}  // namespace rpcrt::security::ntlm
