#include "rpcrt/client/string_binding.h"

#include "rpcrt/ndr/uuid.h"
#include "rpcrt/status.h"

namespace rpcrt::client {
namespace {

// What each part must escape: colons stay plain in the address (IPv6 literals), since only
// the first colon of a string binding ends the protocol sequence.
constexpr std::string_view kSpecialHead = "@:[],=\\";
constexpr std::string_view kSpecialAddress = "@[]\\";
constexpr std::string_view kSpecialEndpoint = "[],=\\";

void AppendEscaped(std::string& out, std::string_view part,
                   std::string_view special = kSpecialHead) {
  for (char c : part) {
    if (special.find(c) != std::string_view::npos) out.push_back('\\');
    out.push_back(c);
  }
}

// Reads up to the first unescaped character of `stops` (or the end), unescaping on the way.
// Returns the text and leaves `pos` on the stop character.
std::string ReadPart(std::string_view text, size_t& pos, std::string_view stops) {
  std::string out;
  while (pos < text.size()) {
    char c = text[pos];
    if (c == '\\') {
      if (pos + 1 >= text.size())
        throw RpcError(kInvalidStringBinding, "string binding ends in an escape character");
      out.push_back(text[pos + 1]);
      pos += 2;
      continue;
    }
    if (stops.find(c) != std::string_view::npos) break;
    out.push_back(c);
    ++pos;
  }
  return out;
}

bool IsProtseqShape(std::string_view p) {
  if (p.empty()) return false;
  for (char c : p) {
    bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<uint16_t> ParseTcpEndpoint(std::string_view endpoint) {
  endpoint = Trim(endpoint);
  if (endpoint.empty() || endpoint.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (char c : endpoint) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::string StringBinding::Compose() const {
  std::string out;
  if (!object_uuid.empty()) {
    AppendEscaped(out, object_uuid);
    out.push_back('@');
  }
  AppendEscaped(out, protseq);
  out.push_back(':');
  AppendEscaped(out, network_address, kSpecialAddress);
  if (!endpoint.empty() || !options.empty()) {
    out.push_back('[');
    AppendEscaped(out, endpoint, kSpecialEndpoint);
    for (const auto& [name, value] : options) {
      out.push_back(',');
      AppendEscaped(out, name, kSpecialEndpoint);
      out.push_back('=');
      AppendEscaped(out, value, kSpecialEndpoint);
    }
    out.push_back(']');
  }
  return out;
}

StringBinding StringBinding::Parse(std::string_view text) {
  StringBinding b;
  size_t pos = 0;
  std::string first = ReadPart(text, pos, "@:[");
  if (pos < text.size() && text[pos] == '@') {
    b.object_uuid = first;
    ++pos;
    b.protseq = ReadPart(text, pos, ":[@");
  } else {
    b.protseq = std::move(first);
  }
  if (pos >= text.size() || text[pos] != ':')
    throw RpcError(kInvalidStringBinding, "string binding has no protocol sequence separator");
  ++pos;
  if (!b.object_uuid.empty() && !Uuid::Parse(b.object_uuid))
    throw RpcError(kInvalidStringUuid, "object UUID '" + b.object_uuid + "' is malformed");
  if (!IsProtseqShape(b.protseq))
    throw RpcError(kInvalidRpcProtseq, "protocol sequence '" + b.protseq + "' is malformed");
  if (b.protseq != kProtseqTcp)
    throw RpcError(kProtseqNotSupported, "protocol sequence '" + b.protseq + "' is not supported");

  // IPv6 literals contain colons; only '[' ends the address.
  b.network_address = ReadPart(text, pos, "[]@");
  if (pos < text.size()) {
    if (text[pos] != '[')
      throw RpcError(kInvalidStringBinding, "unexpected character in network address");
    ++pos;
    b.endpoint = ReadPart(text, pos, ",]=[");
    while (pos < text.size() && text[pos] == ',') {
      ++pos;
      std::string name = ReadPart(text, pos, "=,][");
      if (pos >= text.size() || text[pos] != '=' || name.empty())
        throw RpcError(kInvalidStringBinding, "binding option without a name=value form");
      ++pos;
      std::string value = ReadPart(text, pos, ",][=");
      b.options.emplace_back(std::move(name), std::move(value));
    }
    if (pos >= text.size() || text[pos] != ']')
      throw RpcError(kInvalidStringBinding, "endpoint part is not closed by ']'");
    ++pos;
    if (pos != text.size())
      throw RpcError(kInvalidStringBinding, "characters after the endpoint part");
  }
  if (!b.endpoint.empty() && !ParseTcpEndpoint(b.endpoint))
    throw RpcError(kInvalidEndpointFormat, "endpoint '" + b.endpoint + "' is not a TCP port");
  return b;
}

}  // namespace rpcrt::client
