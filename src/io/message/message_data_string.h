// String items: narrow text (String) and UTF-16 text (WString), each written as a signed
// 32-bit length in code units followed by the code units.
#pragma once

#include <string>

#include "io/message/message_data.h"

namespace io::message {

class CMessageDataString final : public IMessageData {
 public:
  static constexpr MessageDataType kType = MessageDataType::String;

  CMessageDataString() = default;
  explicit CMessageDataString(std::string value) : value_(std::move(value)) {}

  const std::string& Get() const { return value_; }
  void Set(std::string value) { value_ = std::move(value); }

  MessageDataType Type() const override { return kType; }
  uint32_t Size() const override;
  void Write(IOutputStream& out) const override;
  void Write(CSerializationStream& out) const override;
  void Read(IInputStream& in) override;
  void Read(CSerializationStream& in) override;
  std::string ToString() const override;

 private:
  std::string value_;
};

class CMessageDataWString final : public IMessageData {
 public:
  static constexpr MessageDataType kType = MessageDataType::WString;

  CMessageDataWString() = default;
  explicit CMessageDataWString(std::u16string value) : value_(std::move(value)) {}

  const std::u16string& Get() const { return value_; }
  void Set(std::u16string value) { value_ = std::move(value); }

  MessageDataType Type() const override { return kType; }
  uint32_t Size() const override;
  void Write(IOutputStream& out) const override;
  void Write(CSerializationStream& out) const override;
  void Read(IInputStream& in) override;
  void Read(CSerializationStream& in) override;
  std::string ToString() const override;  // the text as UTF-8

 private:
  std::u16string value_;
};

}  // namespace io::message
