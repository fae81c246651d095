#include "server/server_args.h"

#include <charconv>
#include <stdexcept>

namespace zelqa::server {

const char kServerUsage[] =
    "usage: zelqa-rpc-server --listen ADDRESS:PORT [--listen ...] --accounts FILE\n"
    "                        [--keytab FILE --principal NAME] [--epm-port PORT | --no-epm]\n"
    "\n"
    "Serves DoRpc (interface d1c2c07a-d989-48cc-a423-b73ecd518d40 v1.0) over ncacn_ip_tcp,\n"
    "authenticated with Negotiate (NTLM accounts from FILE in DOMAIN:user:password lines,\n"
    "Kerberos with the keytab) at packet privacy. The answer is request1 followed by\n"
    "request2. PORT 0 picks a free port; the ports in use are printed on standard output.\n"
    "The endpoint mapper listens on --epm-port (135 by default).\n";

namespace {

uint16_t ParsePort(const std::string& text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535 || text.empty()) {
    throw std::invalid_argument("invalid port: '" + text + "'");
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

ListenAddress ParseListenAddress(const std::string& text) {
  ListenAddress result;
  std::string port;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      throw std::invalid_argument("invalid listen address: '" + text + "'");
    }
    result.address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
      throw std::invalid_argument("invalid listen address (ADDRESS:PORT): '" + text + "'");
    }
    result.address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  result.port = ParsePort(port);
  return result;
}

ServerArgs ParseServerArgs(const std::vector<std::string>& args) {
  ServerArgs result;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(arg + " needs a value");
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      result.help = true;
    } else if (arg == "--listen") {
      result.listen.push_back(ParseListenAddress(value()));
    } else if (arg == "--accounts") {
      result.accounts = value();
    } else if (arg == "--keytab") {
      result.keytab = value();
    } else if (arg == "--principal") {
      result.principal = value();
    } else if (arg == "--epm-port") {
      result.epm_port = ParsePort(value());
    } else if (arg == "--no-epm") {
      result.epm_port.reset();
    } else {
      throw std::invalid_argument("unknown argument: '" + arg + "'");
    }
  }
  if (result.help) return result;
  if (result.listen.empty()) throw std::invalid_argument("at least one --listen is needed");
  if (result.accounts.empty() && result.keytab.empty()) {
    throw std::invalid_argument("--accounts or --keytab is needed");
  }
  return result;
}

}  // namespace zelqa::server
