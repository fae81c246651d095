#include "rpcrt/security/spnego/der.h"

#include <string>

#include "rpcrt/status.h"

namespace rpcrt::security::der {

namespace {

// No token of ours comes near this; a bigger length is hostile or corrupt.
constexpr size_t kMaxLengthOctets = 4;

[[noreturn]] void Malformed(const std::string& what) {
  throw RpcError(kSecPkgError, "malformed negotiation token: " + what);
}

std::string Hex(uint8_t b) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0xf];
}

}  // namespace

uint8_t Reader::PeekTag() const {
  if (rest_.empty()) Malformed("element expected, end of data found");
  return rest_[0];
}

Element Reader::ReadAny() {
  if (rest_.size() < 2) Malformed("truncated element header");
  const uint8_t tag = rest_[0];
  // High tag numbers (0x1f) never occur in these tokens.
  if ((tag & 0x1f) == 0x1f) Malformed("unsupported tag " + Hex(tag));
  size_t pos = 1;
  size_t length = rest_[pos++];
  if (length & 0x80) {
    const size_t octets = length & 0x7f;
    if (octets == 0) Malformed("indefinite length");
    if (octets > kMaxLengthOctets) Malformed("length of " + std::to_string(octets) + " octets");
    if (rest_.size() - pos < octets) Malformed("truncated length");
    length = 0;
    for (size_t i = 0; i < octets; ++i) length = (length << 8) | rest_[pos++];
  }
  if (length > rest_.size() - pos) {
    Malformed("element of " + std::to_string(length) + " bytes with " +
              std::to_string(rest_.size() - pos) + " left");
  }
  Element e{tag, rest_.subspan(pos, length), rest_.first(pos + length)};
  rest_ = rest_.subspan(pos + length);
  return e;
}

std::span<const uint8_t> Reader::Read(uint8_t tag) {
  const uint8_t found = PeekTag();
  if (found != tag) Malformed("tag " + Hex(found) + " where " + Hex(tag) + " belongs");
  return ReadAny().contents;
}

void Reader::ExpectEnd() const {
  if (!rest_.empty()) Malformed(std::to_string(rest_.size()) + " trailing bytes");
}

void Writer::Add(uint8_t tag, std::span<const uint8_t> contents) {
  out_.push_back(tag);
  const size_t n = contents.size();
  if (n < 0x80) {
    out_.push_back(static_cast<uint8_t>(n));
  } else {
    int octets = 0;
    for (size_t v = n; v != 0; v >>= 8) ++octets;
    out_.push_back(static_cast<uint8_t>(0x80 | octets));
    for (int i = octets - 1; i >= 0; --i) out_.push_back(static_cast<uint8_t>(n >> (8 * i)));
  }
  out_.insert(out_.end(), contents.begin(), contents.end());
}

void Writer::AddRaw(std::span<const uint8_t> encoding) {
  out_.insert(out_.end(), encoding.begin(), encoding.end());
}

std::vector<uint8_t> Encode(uint8_t tag, std::span<const uint8_t> contents) {
  Writer w;
  w.Add(tag, contents);
  return w.Take();
}

}  // namespace rpcrt::security::der
