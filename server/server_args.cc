#include "server/server_args.h"

#include <charconv>
#include <cstddef>
#include <stdexcept>

namespace zelqa::server {

const char kServerUsage[] =
    "usage: zelqa-rpc-server --listen ADDRESS:PORT [--listen ...] --accounts FILE\n"
    "                        [--keytab FILE --principal NAME] [--epm-port PORT | --no-epm]\n"
    "                        [--max-connections N] [--bind-timeout SECONDS]\n"
    "                        [--pdu-timeout SECONDS] [--idle-timeout SECONDS]\n"
    "                        [--exec-timeout SECONDS] [--exec-max-output BYTES]\n"
    "                        [--exec COMMAND [ARG...]]\n"
    "\n"
    "Serves DoRpc (interface d1c2c07a-d989-48cc-a423-b73ecd518d40 v1.0) over ncacn_ip_tcp,\n"
    "authenticated with Negotiate (NTLM accounts from FILE in DOMAIN:user:password lines,\n"
    "Kerberos with the keytab) at packet privacy. PORT 0 picks a free port; the ports in use\n"
    "are printed on standard output. The endpoint mapper listens on --epm-port (135 by\n"
    "default).\n"
    "\n"
    "The answer is request1 followed by request2, unless --exec (the last option: everything\n"
    "after it is the command) names a command to run, without a shell and with exactly the\n"
    "arguments given; the two requests reach it in ZELQA_REQUEST1 and ZELQA_REQUEST2, never as\n"
    "arguments (sh -c '... \"$ZELQA_REQUEST1\"' passes them on where a command needs them).\n"
    "Its standard output is the answer when it exits with 0; otherwise its standard error is\n"
    "the error text. A command that runs longer than --exec-timeout (30 s) or writes more\n"
    "than --exec-max-output bytes (1048576) is killed with everything it started. It sees the\n"
    "caller in ZELQA_CALLER_ADDRESS and ZELQA_CALLER_ACCOUNT.\n"
    "\n"
    "A connection is closed when its bind (with authentication) is not done within\n"
    "--bind-timeout (10 s), when a fragment that has begun is not whole within --pdu-timeout\n"
    "(10 s), or when no call comes for --idle-timeout (300 s). With --max-connections (64)\n"
    "connections open on one address, a new one takes the place of the oldest that is not\n"
    "authenticated or is idle between calls; when every one is busy in a call, the new one is\n"
    "closed at once. Each call is logged on standard error. SIGTERM or SIGINT stops the server.\n";

namespace {

uint16_t ParsePort(const std::string& text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535 || text.empty()) {
    throw std::invalid_argument("invalid port: '" + text + "'");
  }
  return static_cast<uint16_t>(value);
}

uint64_t ParseCount(const std::string& option, const std::string& text, uint64_t min,
                    uint64_t max) {
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    throw std::invalid_argument(option + " needs a whole number from " + std::to_string(min) +
                                " to " + std::to_string(max) + ", not '" + text + "'");
  }
  return value;
}

// Seconds, with up to three decimals ("30", "0.5").
uint32_t ParseSeconds(const std::string& option, const std::string& text) {
  const auto dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (whole.empty() || fraction.size() > 3 || (dot != std::string::npos && fraction.empty()))
    throw std::invalid_argument(option + " needs seconds (like 30 or 0.5), not '" + text + "'");
  fraction.resize(3, '0');
  const uint64_t ms =
      ParseCount(option, whole, 0, 86400) * 1000 + ParseCount(option, fraction, 0, 999);
  if (ms == 0) throw std::invalid_argument(option + " must be more than 0");
  return static_cast<uint32_t>(ms);
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
    } else if (arg == "--max-connections") {
      result.max_connections = ParseCount(arg, value(), 1, 100000);
    } else if (arg == "--bind-timeout") {
      result.bind_timeout_ms = ParseSeconds(arg, value());
    } else if (arg == "--pdu-timeout") {
      result.pdu_timeout_ms = ParseSeconds(arg, value());
    } else if (arg == "--idle-timeout") {
      result.idle_timeout_ms = ParseSeconds(arg, value());
    } else if (arg == "--exec-timeout") {
      result.exec_timeout_ms = ParseSeconds(arg, value());
    } else if (arg == "--exec-max-output") {
      result.exec_max_output = ParseCount(arg, value(), 1, uint64_t{1} << 30);
    } else if (arg == "--exec") {
      result.exec.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      if (result.exec.empty()) throw std::invalid_argument("--exec needs a command");
      break;
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
