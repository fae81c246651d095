// zelqa-rpc: the command-line client. `call` goes through the four exports of the client
// library, loaded as any host loads it; `lookup` asks a host's endpoint mapper directly.
// Exit status 0 on success, 1 when the operation failed, 2 for a wrong command line.
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
#include "rpcrt/security/auth_notes.h"
#include "tools/client_library.h"
#include "tools/registry_setting.h"
#include "tools/verbose_log.h"

namespace {

// The endpoint mapper's port when the registry store names none, as in the client library.
constexpr uint32_t kEndpointMapperPort = 135;

constexpr char kCallUsage[] =
    "usage: zelqa-rpc call --host HOST [--port PORT] [--service NAME] [--user USER]\n"
    "                      [--password-file FILE] [--library PATH] [--verbose]\n"
    "                      REQUEST1 REQUEST2\n"
    "\n"
    "Calls DoRpc on HOST and prints the answer. Without --port (or with port 0) the host's\n"
    "endpoint mapper is asked, on the port that RpcEndpointMapperPort in the registry store\n"
    "names (135 by default). Without --user the current user's credentials are used (Kerberos\n"
    "ticket cache, or NTLM_USER_FILE); with --user (DOMAIN\\user or user@REALM) the password\n"
    "comes from --password-file or, without it, from the first line of standard input.\n"
    "The service principal is NAME/HOST (NAME is \"zelqa\" by default). --verbose copies the\n"
    "client library's log records to standard error.\n";

constexpr char kLookupUsage[] =
    "usage: zelqa-rpc lookup --host HOST [--epm-port PORT]\n"
    "                        [--anonymous | --user USER [--password-file FILE]] [--verbose]\n"
    "\n"
    "Lists what the host's endpoint mapper has registered, one line per entry: interface\n"
    "UUID, version, string binding (ncacn_ip_tcp, ncacn_http, ncacn_np, ncalrpc, ...; a\n"
    "protocol without a string form as unknown:[floor octets]), annotation. The mapper's port\n"
    "is --epm-port, else RpcEndpointMapperPort in the registry store, else 135. The lookup is\n"
    "authenticated with Negotiate at packet privacy (service principal host/HOST) as the\n"
    "current user (Kerberos ticket cache, or NTLM_USER_FILE), or as --user with the password\n"
    "read as for call; --anonymous asks without authentication.\n";

constexpr char kExitCodes[] =
    "\n"
    "Exit status: 0 done, 1 the call or lookup failed (the error text is on standard error),\n"
    "2 the command line is wrong.\n";

void PrintUsage(std::ostream& out, const std::string& command) {
  if (command == "call") {
    out << kCallUsage << kExitCodes;
  } else if (command == "lookup") {
    out << kLookupUsage << kExitCodes;
  } else {
    out << kCallUsage << "\n"
        << kLookupUsage << kExitCodes << "\nzelqa-rpc COMMAND --help describes one command.\n";
  }
}

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
  bool help = false;
  bool verbose = false;
  bool anonymous = false;
};

// A mistake on the command line: reported with the usage of the command it concerns.
struct UsageError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
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
    throw UsageError("invalid number: '" + text + "'");
  }
  return static_cast<uint32_t>(value);
}

Args Parse(int argc, char** argv) {
  Args args;
  if (argc < 2) throw UsageError("missing command");
  args.command = argv[1];
  if (args.command == "help" || args.command == "--help" || args.command == "-h") {
    args.command.clear();
    args.help = true;
    return args;
  }
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (arg == "--verbose" || arg == "-v") {
      args.verbose = true;
    } else if (arg == "--anonymous") {
      args.anonymous = true;
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
      throw UsageError("unknown option: '" + arg + "'");
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

// A mapper's text as it may reach a terminal: control characters become '?'.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

int Call(const Args& args) {
  if (args.host.empty() || args.positional.size() != 2) {
    throw UsageError("call needs --host and exactly two requests");
  }
  if (args.anonymous) throw UsageError("call is always authenticated: --anonymous is for lookup");
  const std::string password = args.user.empty() ? std::string() : ReadPassword(args.password_file);
  // Set up before the library loads: it reads the registry store once.
  std::optional<zelqa::tools::VerboseLog> verbose;
  if (args.verbose) verbose.emplace();
  struct CopyLogOnExit {
    std::optional<zelqa::tools::VerboseLog>& log;
    ~CopyLogOnExit() {
      if (log) log->CopyTo(std::cerr);
    }
  } copy_log{verbose};
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
  if (args.host.empty()) throw UsageError("lookup needs --host");
  if (!args.positional.empty()) throw UsageError("lookup takes no requests");
  if (args.anonymous && !args.user.empty()) {
    throw UsageError("--anonymous and --user exclude each other");
  }
  const uint16_t epm_port = args.epm_port.value_or(static_cast<uint16_t>(
      zelqa::tools::ProductDwordSetting(u"RpcEndpointMapperPort").value_or(kEndpointMapperPort)));
  rpcrt::client::AuthInfo auth;
  if (!args.anonymous) {
    auth.service = rpcrt::security::AuthnService::kGssNegotiate;
    auth.level = rpcrt::security::AuthnLevel::kPktPrivacy;
    auth.principal = platform::Utf8ToUtf16("host/" + args.host);
  }
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
    auth.credentials.identity = identity;
  }
  if (args.verbose) {
    std::cerr << "asking the endpoint mapper at " << args.host << " port " << epm_port
              << (args.anonymous      ? " anonymously"
                  : args.user.empty() ? " with Negotiate at packet privacy as the current user"
                                      : " with Negotiate at packet privacy as " + args.user)
              << std::endl;
    // The lookup runs on the run time directly, so its notes on the mechanism come from there.
    rpcrt::security::SetAuthNoteReceiver(
        [](const std::string& note) { std::cerr << note << '\n'; });
  }
  for (const auto& entry : rpcrt::client::EptLookup(args.host, epm_port, auth)) {
    std::cout << entry.interface_id.uuid.ToString() << " v" << entry.interface_id.version_major
              << "." << entry.interface_id.version_minor << " " << entry.string_binding << " \""
              << Printable(entry.annotation) << "\"\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  Args args;
  try {
    args = Parse(argc, argv);
    if (args.help) {
      PrintUsage(std::cout, args.command);
      return 0;
    }
    if (args.command == "call") return Call(args);
    if (args.command == "lookup") return Lookup(args);
    std::cerr << "zelqa-rpc: unknown command '" << args.command << "'\n\n";
    PrintUsage(std::cerr, {});
    return 2;
  } catch (const UsageError& e) {
    std::cerr << "zelqa-rpc: " << e.what() << "\n\n";
    PrintUsage(std::cerr, command);
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "zelqa-rpc: " << e.what() << std::endl;
    return 1;
  }
}
