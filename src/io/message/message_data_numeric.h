// Items that hold one fixed-size value: the integers, the floats, Boolean and Time.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "io/message/message_data.h"
#include "io/message/serialization_stream.h"
#include "io/message/stream_values.h"

namespace io::message {

namespace detail {
std::string_view NumericTypeName(MessageDataType type);

template <class T>
std::string NumberText(T value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value ? "true" : "false";
  } else if constexpr (std::is_floating_point_v<T>) {
    // Shortest text that reads back as the same value; "nan" and "inf" as they are.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof(buf), value);
    return std::string(buf, res.ptr);
  } else if constexpr (sizeof(T) == 1) {
    return std::to_string(static_cast<int>(value));
  } else {
    return std::to_string(value);
  }
}
}  // namespace detail

template <MessageDataType Tag, class T>
class CMessageDataNumeric final : public IMessageData {
  // A bool travels as one byte: 1 for true, any non-zero byte reads as true.
  using wire_t = std::conditional_t<std::is_same_v<T, bool>, uint8_t, T>;

 public:
  using value_type = T;
  static constexpr MessageDataType kType = Tag;

  CMessageDataNumeric() = default;
  explicit CMessageDataNumeric(T value) : value_(value) {}

  T Get() const { return value_; }
  void Set(T value) { value_ = value; }

  MessageDataType Type() const override { return Tag; }
  uint32_t Size() const override { return sizeof(wire_t); }
  void Write(IOutputStream& out) const override { WriteValue(out, ToWire()); }
  void Write(CSerializationStream& out) const override { out.WriteValue(ToWire()); }
  void Read(IInputStream& in) override { FromWire(ReadValue<wire_t>(in)); }
  void Read(CSerializationStream& in) override { FromWire(in.ReadValue<wire_t>()); }

  std::string ToString() const override {
    std::string text = "(";
    text += detail::NumericTypeName(Tag);
    text += ") ";
    text += detail::NumberText(value_);
    return text;
  }

 private:
  wire_t ToWire() const {
    if constexpr (std::is_same_v<T, bool>) {
      return value_ ? 1 : 0;
    } else {
      return value_;
    }
  }
  void FromWire(wire_t wire) {
    if constexpr (std::is_same_v<T, bool>) {
      value_ = wire != 0;
    } else {
      value_ = wire;
    }
  }

  T value_{};
};

using CMessageDataInt8 = CMessageDataNumeric<MessageDataType::Int8, int8_t>;
using CMessageDataUInt8 = CMessageDataNumeric<MessageDataType::UInt8, uint8_t>;
using CMessageDataInt16 = CMessageDataNumeric<MessageDataType::Int16, int16_t>;
using CMessageDataUInt16 = CMessageDataNumeric<MessageDataType::UInt16, uint16_t>;
using CMessageDataInt32 = CMessageDataNumeric<MessageDataType::Int32, int32_t>;
using CMessageDataUInt32 = CMessageDataNumeric<MessageDataType::UInt32, uint32_t>;
using CMessageDataInt64 = CMessageDataNumeric<MessageDataType::Int64, int64_t>;
using CMessageDataUInt64 = CMessageDataNumeric<MessageDataType::UInt64, uint64_t>;
using CMessageDataFloat32 = CMessageDataNumeric<MessageDataType::Float32, float>;
using CMessageDataFloat64 = CMessageDataNumeric<MessageDataType::Float64, double>;
using CMessageDataBoolean = CMessageDataNumeric<MessageDataType::Boolean, bool>;
using CMessageDataTime = CMessageDataNumeric<MessageDataType::Time, uint64_t>;

static_assert(sizeof(float) == 4 && sizeof(double) == 8);

}  // namespace io::message
