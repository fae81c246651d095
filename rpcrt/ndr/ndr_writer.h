// NDR 2.0 marshalling into a growing buffer.
//
// Alignment is relative to the first byte written, which is the first byte of the stub. The
// writer encodes in little-endian order unless asked for big-endian (for peers and tests that
// need it). Structures are written by composing the primitives; deferring the referents of
// embedded pointers to after the enclosing structure is the caller's job.
#pragma once

#include <cstddef>
#include <cstdint>

#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>
#include "rpcrt/status.h"

#include "rpcrt/ndr/context_handle.h"
#include "rpcrt/ndr/uuid.h"

namespace rpcrt {

class NdrWriter {
 public:
  // The first block holds a small call's stub or fragment whole: grown from nothing a byte at
  // a time, the buffer would be reallocated at every doubling.
  explicit NdrWriter(bool big_endian = false) : big_endian_(big_endian) {
    buffer_.reserve(kFirstBlock);
  }
  static constexpr size_t kFirstBlock = 256;

  // Zero padding up to the next multiple of `alignment` (1, 2, 4 or 8).
  void Align(size_t alignment);

  // Primitives align themselves to their own size first.
  void WriteU8(uint8_t v);
  void WriteU16(uint16_t v);
  void WriteU32(uint32_t v);
  void WriteU64(uint64_t v);
  void WriteI8(int8_t v) { WriteU8(static_cast<uint8_t>(v)); }
  void WriteI16(int16_t v) { WriteU16(static_cast<uint16_t>(v)); }
  void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
  void WriteI64(int64_t v) { WriteU64(static_cast<uint64_t>(v)); }

  // Raw octets, no alignment.
  void WriteBytes(std::span<const uint8_t> bytes);

  // A UUID (4-byte aligned) and a context handle (attributes + UUID, 4-byte aligned).
  void WriteUuid(const Uuid& uuid);
  void WriteContextHandle(const ContextHandle& handle);

  // [string] wchar_t*: max count, offset 0, actual count (both counting the terminating NUL
  // that is appended here), then the 16-bit characters.
  void WriteWideString(std::u16string_view text);
  // [string] char*: the same with 8-bit characters.
  void WriteAnsiString(std::string_view text);

  // The referent id of a unique pointer: 0 for null, else the next id of the sequence
  // 0x00020000, 0x00020004, ... that Windows uses. Returns what was written.
  uint32_t WriteUniquePointer(bool present);
  // A full pointer: the same address always gets the same id. Returns the id written and
  // whether this was its first occurrence (then the caller writes the referent).
  std::pair<uint32_t, bool> WriteFullPointer(const void* address);

  // Overwrites a 32-bit value written earlier at `offset` (for counts known only later).
  void PatchU32(size_t offset, uint32_t v);

  size_t size() const { return buffer_.size(); }
  const std::vector<uint8_t>& bytes() const { return buffer_; }
  std::vector<uint8_t> Take() { return std::move(buffer_); }

 private:
  void PutU16(uint16_t v);
  void PutU32(uint32_t v);
  uint32_t NextReferentId();

  bool big_endian_;
  std::vector<uint8_t> buffer_;
  uint32_t next_referent_ = 0x00020000;
  std::unordered_map<const void*, uint32_t> full_pointers_;
};

}  // namespace rpcrt
