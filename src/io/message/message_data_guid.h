// GUID item: 16 bytes in the GUID's own layout (three little-endian fields, then 8 bytes).
#pragma once

#include "io/message/message_data.h"
#include "platform/guid.h"

namespace io::message {

class CMessageDataGuid final : public IMessageData {
 public:
  static constexpr MessageDataType kType = MessageDataType::Guid;

  CMessageDataGuid() = default;
  explicit CMessageDataGuid(const GUID& value) : value_(value) {}

  const GUID& Get() const { return value_; }
  void Set(const GUID& value) { value_ = value; }

  MessageDataType Type() const override { return kType; }
  uint32_t Size() const override { return 16; }
  void Write(IOutputStream& out) const override;
  void Write(CSerializationStream& out) const override;
  void Read(IInputStream& in) override;
  void Read(CSerializationStream& in) override;
  // "(Guid) " and the 8-4-4-4-12 form with lower-case hex digits.
  std::string ToString() const override;

 private:
  GUID value_{};
};

}  // namespace io::message
