// A small DER reader and writer for the negotiation tokens.
//
// The reader never trusts a length: every element is checked against what is left of its
// enclosing element before a byte of it is read, and anything malformed (truncation,
// indefinite or oversized lengths, a tag other than the expected one) throws
// rpcrt::RpcError with kSecPkgError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rpcrt::security::der {

// Tags used by the negotiation tokens.
inline constexpr uint8_t kEnumerated = 0x0a;
inline constexpr uint8_t kBitString = 0x03;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kOid = 0x06;
inline constexpr uint8_t kGeneralString = 0x1b;
inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kApplication0 = 0x60;  // GSS-API InitialContextToken
inline constexpr uint8_t ContextTag(uint8_t n) {
  return static_cast<uint8_t>(0xa0 | n);
}

// One element as it appeared: its tag, its contents and its whole encoding.
struct Element {
  uint8_t tag;
  std::span<const uint8_t> contents;
  std::span<const uint8_t> encoding;
};

// Reads consecutive elements from a buffer that the caller keeps alive.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> input) : rest_(input) {}

  bool AtEnd() const { return rest_.empty(); }
  // The tag of the next element; throws at the end.
  uint8_t PeekTag() const;
  // The next element, whatever its tag.
  Element ReadAny();
  // The contents of the next element, which must carry `tag`.
  std::span<const uint8_t> Read(uint8_t tag);
  // Throws unless every byte was consumed (trailing garbage is a malformed token).
  void ExpectEnd() const;

 private:
  std::span<const uint8_t> rest_;
};

// Appends elements; nested elements are built in their own Writer and wrapped.
class Writer {
 public:
  void Add(uint8_t tag, std::span<const uint8_t> contents);
  // Appends bytes that are already DER (an OID as Mechanism::Oid() gives it).
  void AddRaw(std::span<const uint8_t> encoding);
  const std::vector<uint8_t>& bytes() const { return out_; }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

// The encoding of one element.
std::vector<uint8_t> Encode(uint8_t tag, std::span<const uint8_t> contents);

}  // namespace rpcrt::security::der
