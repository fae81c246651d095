// zelqa-rpc: the command-line client. `call` goes through the four exports of the client
// library, loaded as any host loads it; `lookup` asks a host's endpoint mapper directly.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/utf_convert.h"
#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/ndr/uuid.h"
#include "tools/client_library.h"

namespace {

constexpr char kUsage[] =
    "usage: zelqa-rpc call --host HOST [--port PORT] [--service NAME] [--user USER]\n"
    "                      [--password-file FILE] [--library PATH] REQUEST1 REQUEST2\n"
    "       zelqa-rpc lookup --host HOST [--epm-port PORT] [--user USER --password-file FILE]\n"
    "\n"
    "call     calls DoRpc on HOST and prints the answer. Without --port the host's endpoint\n"
    "         mapper is asked. Without --user the current user's credentials are used\n"
    "         (Kerberos ticket cache, or NTLM_USER_FILE); with --user the password comes from\n"
    "         --password-file or, without it, from the first line of standard input.\n"
    "lookup   lists what the host's endpoint mapper has registered: interface, version,\n"
    "         string binding, annotation. Anonymous unless --user is given (then Negotiate at\n"
    "         packet privacy).\n";

struct Args {
  std::string command;
  std::string host;
  std::optional<uint32_t> port;
  std::optional<uint16_t> epm_port;
  std::string service = "zelqa";
  std::string user;
  std::string password_file;
  std::string library;
  std::vector<std::string> positional;
};

uint32_t ParseNumber(const std::string& text, uint32_t max) {
  size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || text.empty() || value > max) {
    throw std::invalid_argument("invalid number: '" + text + "'");
  }
  return static_cast<uint32_t>(value);
}

Args Parse(int argc, char** argv) {
  Args args;
  if (argc < 2) throw std::invalid_argument("missing command");
  args.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      args.command = "help";
    } else if (arg == "--host") {
      args.host = value();
    } else if (arg == "--port") {
      args.port = ParseNumber(value(), 65535);
    } else if (arg == "--epm-port") {
      args.epm_port = static_cast<uint16_t>(ParseNumber(value(), 65535));
    } else if (arg == "--service") {
      args.service = value();
    } else if (arg == "--user") {
      args.user = value();
    } else if (arg == "--password-file") {
      args.password_file = value();
    } else if (arg == "--library") {
      args.library = value();
    } else if (arg.rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown option: '" + arg + "'");
    } else {
      args.positional.push_back(arg);
    }
  }
  return args;
}

// The first line of the file, or of standard input; the line break is not part of it.
std::string ReadPassword(const std::string& file) {
  std::string line;
  if (file.empty()) {
    if (isatty(STDIN_FILENO)) std::cerr << "Password: " << std::flush;
    std::getline(std::cin, line);
  } else {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read the password file '" + file + "'");
    std::getline(in, line);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int Call(const Args& args) {
  if (args.host.empty() || args.positional.size() != 2) {
    throw std::invalid_argument("call needs --host and exactly two requests");
  }
  const std::string password = args.user.empty() ? std::string() : ReadPassword(args.password_file);
  zelqa::tools::ClientLibrary library(args.library);
  const std::u16string id = library.Connect(
      platform::Utf8ToUtf16(args.host), args.port.value_or(0), platform::Utf8ToUtf16(args.user),
      platform::Utf8ToUtf16(password), platform::Utf8ToUtf16(args.service));
  std::u16string answer;
  try {
    answer = library.Call(id, platform::Utf8ToUtf16(args.positional[0]),
                          platform::Utf8ToUtf16(args.positional[1]));
  } catch (...) {
    library.Disconnect(id);
    throw;
  }
  library.Disconnect(id);
  std::cout << platform::Utf16ToUtf8(answer) << std::endl;
  return 0;
}

int Lookup(const Args& args) {
  if (args.host.empty()) throw std::invalid_argument("lookup needs --host");
  if (args.epm_port) rpcrt::client::SetEndpointMapperPort(*args.epm_port);
  rpcrt::client::AuthInfo auth;
  if (!args.user.empty()) {
    const std::u16string account = platform::Utf8ToUtf16(args.user);
    const std::u16string password = platform::Utf8ToUtf16(ReadPassword(args.password_file));
    rpcrt::security::Identity identity;
    if (const auto slash = account.find(u'\\'); slash != std::u16string::npos) {
      identity = {account.substr(slash + 1), account.substr(0, slash), password};
    } else if (const auto at = account.find(u'@'); at != std::u16string::npos) {
      identity = {account.substr(0, at), account.substr(at + 1), password};
    } else {
      identity = {account, u".", password};
    }
    auth.service = rpcrt::security::AuthnService::kGssNegotiate;
    auth.level = rpcrt::security::AuthnLevel::kPktPrivacy;
    auth.principal = platform::Utf8ToUtf16("host/" + args.host);
    auth.credentials.identity = identity;
  }
  for (const auto& entry : rpcrt::client::EptLookup(args.host, auth)) {
    std::cout << entry.interface_id.uuid.ToString() << " v" << entry.interface_id.version_major
              << "." << entry.interface_id.version_minor << " " << entry.string_binding << " \""
              << entry.annotation << "\"\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  try {
    args = Parse(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::cerr << "zelqa-rpc: " << e.what() << "\n\n" << kUsage;
    return 2;
  }
  try {
    if (args.command == "help" || args.command == "--help" || args.command == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (args.command == "call") return Call(args);
    if (args.command == "lookup") return Lookup(args);
    std::cerr << "zelqa-rpc: unknown command '" << args.command << "'\n\n" << kUsage;
    return 2;
  } catch (const std::invalid_argument& e) {
    std::cerr << "zelqa-rpc: " << e.what() << "\n\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
}
