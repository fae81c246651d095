#include "rpcrt/ndr/ndr_writer.h"

#include <limits>

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/status.h"

namespace rpcrt {

void NdrWriter::Align(size_t alignment) {
  size_t misalign = buffer_.size() % alignment;
  if (misalign != 0) buffer_.resize(buffer_.size() + alignment - misalign, 0);
}

void NdrWriter::PutU16(uint16_t v) {
  Append<uint16_t>(buffer_, v, big_endian_);
}

void NdrWriter::PutU32(uint32_t v) {
  Append<uint32_t>(buffer_, v, big_endian_);
}

void NdrWriter::WriteU8(uint8_t v) {
  buffer_.push_back(v);
}

void NdrWriter::WriteU16(uint16_t v) {
  Align(2);
  PutU16(v);
}

void NdrWriter::WriteU32(uint32_t v) {
  Align(4);
  PutU32(v);
}

void NdrWriter::WriteU64(uint64_t v) {
  Align(8);
  Append<uint64_t>(buffer_, v, big_endian_);
}

void NdrWriter::WriteBytes(std::span<const uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void NdrWriter::WriteUuid(const Uuid& uuid) {
  WriteU32(uuid.data1);
  PutU16(uuid.data2);
  PutU16(uuid.data3);
  WriteBytes(uuid.data4);
}

void NdrWriter::WriteContextHandle(const ContextHandle& handle) {
  WriteU32(handle.attributes);
  WriteUuid(handle.uuid);
}

namespace {

uint32_t CountWithNul(size_t size) {
  // A string whose count does not fit 32 bits cannot be marshalled at all.
  if (size >= std::numeric_limits<uint32_t>::max()) {
    throw RpcError(kErrorInvalidParameter, "string too long to marshal");
  }
  return static_cast<uint32_t>(size + 1);
}

}  // namespace

void NdrWriter::WriteWideString(std::u16string_view text) {
  uint32_t count = CountWithNul(text.size());
  WriteU32(count);
  WriteU32(0);
  WriteU32(count);
  size_t at = buffer_.size();
  buffer_.resize(at + size_t{count} * 2, 0);  // the NUL is already in place
  uint8_t* p = buffer_.data() + at;
  for (char16_t c : text) {
    Store<uint16_t>({p, 2}, c, big_endian_);
    p += 2;
  }
}

void NdrWriter::WriteAnsiString(std::string_view text) {
  uint32_t count = CountWithNul(text.size());
  WriteU32(count);
  WriteU32(0);
  WriteU32(count);
  buffer_.insert(buffer_.end(), text.begin(), text.end());
  buffer_.push_back(0);
}

uint32_t NdrWriter::NextReferentId() {
  uint32_t id = next_referent_;
  next_referent_ += 4;
  return id;
}

uint32_t NdrWriter::WriteUniquePointer(bool present) {
  uint32_t id = present ? NextReferentId() : 0;
  WriteU32(id);
  return id;
}

std::pair<uint32_t, bool> NdrWriter::WriteFullPointer(const void* address) {
  if (address == nullptr) {
    WriteU32(0);
    return {0, false};
  }
  auto [it, inserted] = full_pointers_.try_emplace(address, 0);
  if (inserted) it->second = NextReferentId();
  WriteU32(it->second);
  return {it->second, inserted};
}

void NdrWriter::PatchU32(size_t offset, uint32_t v) {
  if (offset > buffer_.size() || buffer_.size() - offset < 4) {
    throw RpcError(kErrorInvalidParameter, "patch outside the marshalled data");
  }
  for (int i = 0; i < 4; ++i) {
    int shift = big_endian_ ? 8 * (3 - i) : 8 * i;
    buffer_[offset + i] = static_cast<uint8_t>(v >> shift);
  }
}

}  // namespace rpcrt
