#include "rpcrt/ndr/ndr_reader.h"

#include <algorithm>
#include <string>

#include "rpcrt/ndr/byte_order.h"

namespace rpcrt {

void NdrReader::Fail(const std::string& what) const {
  throw RpcError(error_status_, what + " at offset " + std::to_string(pos_));
}

// Require divides rather than multiplies so that a huge count cannot overflow the check.
void NdrReader::FailShort(uint64_t count, size_t element_size) const {
  Fail("data runs past the end (" + std::to_string(count) + " x " + std::to_string(element_size) +
       " bytes wanted, " + std::to_string(remaining()) + " left)");
}

void NdrReader::Align(size_t alignment) {
  size_t misalign = pos_ % alignment;
  if (misalign == 0) return;
  Require(alignment - misalign);
  pos_ += alignment - misalign;
}

uint8_t NdrReader::ReadU8() {
  Require(1);
  return data_[pos_++];
}

uint16_t NdrReader::ReadU16() {
  Align(2);
  return Load<uint16_t>(ReadBytes(2), big_endian_);
}

uint32_t NdrReader::ReadU32() {
  Align(4);
  return Load<uint32_t>(ReadBytes(4), big_endian_);
}

uint64_t NdrReader::ReadU64() {
  Align(8);
  return Load<uint64_t>(ReadBytes(8), big_endian_);
}

std::span<const uint8_t> NdrReader::ReadBytes(size_t size) {
  Require(size);
  auto view = data_.subspan(pos_, size);
  pos_ += size;
  return view;
}

Uuid NdrReader::ReadUuid() {
  Uuid u;
  u.data1 = ReadU32();
  u.data2 = ReadU16();
  u.data3 = ReadU16();
  auto tail = ReadBytes(8);
  std::copy(tail.begin(), tail.end(), u.data4.begin());
  return u;
}

ContextHandle NdrReader::ReadContextHandle() {
  ContextHandle h;
  h.attributes = ReadU32();
  h.uuid = ReadUuid();
  return h;
}

template <typename Char>
std::basic_string<Char> NdrReader::ReadVaryingString() {
  uint32_t max_count = ReadU32();
  uint32_t offset = ReadU32();
  uint32_t actual_count = ReadU32();
  if (offset != 0) Fail("string offset " + std::to_string(offset) + " is not 0");
  if (actual_count > max_count) {
    Fail("string actual count " + std::to_string(actual_count) + " exceeds max count " +
         std::to_string(max_count));
  }
  if (actual_count == 0) Fail("string without terminating NUL");
  Require(actual_count, sizeof(Char));
  // The characters follow the counts directly: 4-byte aligned, so 16-bit ones need no padding.
  const uint8_t* p = data_.data() + pos_;
  const size_t length = actual_count - 1;
  uint32_t last;
  std::basic_string<Char> text(length, Char{});
  if constexpr (sizeof(Char) == 1) {
    std::copy(p, p + length, reinterpret_cast<uint8_t*>(text.data()));
    last = p[length];
  } else {
    for (size_t i = 0; i < length; ++i) {
      text[i] = static_cast<Char>(Load<uint16_t>({p + 2 * i, 2}, big_endian_));
    }
    last = p[2 * length] | p[2 * length + 1];
  }
  pos_ += size_t{actual_count} * sizeof(Char);
  if (last != 0) Fail("string not terminated by NUL");
  return text;
}

std::u16string NdrReader::ReadWideString() {
  return ReadVaryingString<char16_t>();
}

std::string NdrReader::ReadAnsiString() {
  return ReadVaryingString<char>();
}

std::optional<std::u16string> NdrReader::ReadUniqueWideString() {
  if (ReadPointer() == 0) return std::nullopt;
  return ReadWideString();
}

}  // namespace rpcrt
