// Blob item: a byte block. In a generic message its bytes travel after the message body,
// each block as a 32-bit length and the bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "io/message/message_data.h"

namespace io::message {

class CMessageDataBlob final : public IMessageData {
 public:
  static constexpr MessageDataType kType = MessageDataType::Blob;
  // Blocks of this size or more are refused, so that 4 + length fits a signed 32-bit size.
  static constexpr uint32_t kMaxBlobSize = 2147483643;

  CMessageDataBlob() = default;
  // A block of `size` zero bytes; raises "Failed to create blob..." at the size limit.
  explicit CMessageDataBlob(uint64_t size);
  explicit CMessageDataBlob(std::vector<uint8_t> data);

  const std::vector<uint8_t>& Get() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  // Raises "Failed to resize buffer..." at the size limit, keeping the block as it was.
  void Resize(uint64_t size);

  MessageDataType Type() const override { return kType; }
  uint32_t Size() const override { return 4 + static_cast<uint32_t>(data_.size()); }
  void Write(IOutputStream& out) const override;
  void Write(CSerializationStream& out) const override;
  void Read(IInputStream& in) override;
  void Read(CSerializationStream& in) override;
  std::string ToString() const override;

 private:
  void CheckWritable() const;

  std::vector<uint8_t> data_;
};

}  // namespace io::message
