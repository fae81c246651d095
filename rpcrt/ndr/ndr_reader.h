// NDR 2.0 unmarshalling from a received stub, in the sender's data representation.
//
// Every read checks the bytes that remain first; nothing is allocated that the input does not
// justify. Malformed input raises RpcError with the status given at construction
// (RPC_X_BAD_STUB_DATA by default; the PDU decoders use the protocol-error status).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "rpcrt/ndr/context_handle.h"
#include "rpcrt/ndr/data_rep.h"
#include "rpcrt/ndr/uuid.h"
#include "rpcrt/status.h"

namespace rpcrt {

class NdrReader {
 public:
  explicit NdrReader(std::span<const uint8_t> data, DataRep rep = kLocalDataRep,
                     Status error_status = kBadStubData)
      : data_(data), big_endian_(!rep.little_endian()), error_status_(error_status) {}

  // Skips padding up to the next multiple of `alignment` relative to the start of the data.
  void Align(size_t alignment);

  // Primitives align themselves to their own size first.
  uint8_t ReadU8();
  uint16_t ReadU16();
  uint32_t ReadU32();
  uint64_t ReadU64();
  int8_t ReadI8() { return static_cast<int8_t>(ReadU8()); }
  int16_t ReadI16() { return static_cast<int16_t>(ReadU16()); }
  int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
  int64_t ReadI64() { return static_cast<int64_t>(ReadU64()); }

  // `size` raw octets, no alignment; a view into the input.
  std::span<const uint8_t> ReadBytes(size_t size);

  Uuid ReadUuid();
  ContextHandle ReadContextHandle();

  // [string] wchar_t*: requires offset 0, actual count <= max count, actual count >= 1 and a
  // NUL last character. Returns the text without the NUL.
  std::u16string ReadWideString();
  // [string] char*: the same with 8-bit characters.
  std::string ReadAnsiString();

  // A pointer's referent id (0 = null), 4-byte aligned.
  uint32_t ReadPointer() { return ReadU32(); }
  // A unique pointer to a [string] wchar_t*: nullopt for null.
  std::optional<std::u16string> ReadUniqueWideString();

  // Fails unless `count` elements of `element_size` bytes can still follow. Inline, so that a
  // constant element size turns the overflow-safe division into a shift or nothing.
  void Require(uint64_t count, size_t element_size = 1) const {
    if (element_size != 0 && count > remaining() / element_size) FailShort(count, element_size);
  }

  // Fails with the reader's status and `what` as the detail.
  [[noreturn]] void Fail(const std::string& what) const;

  size_t position() const { return pos_; }
  size_t remaining() const { return data_.size() - pos_; }
  bool at_end() const { return pos_ == data_.size(); }
  bool big_endian() const { return big_endian_; }

 private:
  template <typename Char>
  std::basic_string<Char> ReadVaryingString();
  [[noreturn]] void FailShort(uint64_t count, size_t element_size) const;

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool big_endian_;
  Status error_status_;
};

}  // namespace rpcrt
