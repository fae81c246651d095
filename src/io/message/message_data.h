// A typed value stored under a key in a generic message.
//
// Every item can write itself to a byte stream or into a serialisation buffer and read
// itself back from either. Numbers are little-endian on the wire.
#pragma once

#include <cstdint>
#include <string>

#include "io/stream.h"

namespace io::message {

class CSerializationStream;

// Type tags as they appear on the wire, one byte after the item's key.
enum class MessageDataType : uint8_t {
  Blob = 1,
  Int8 = 2,
  UInt8 = 3,
  Int16 = 4,
  UInt16 = 5,
  Int32 = 6,
  UInt32 = 7,
  Int64 = 8,
  UInt64 = 9,
  Float32 = 10,
  Float64 = 11,
  String = 12,
  WString = 13,
  Guid = 14,
  Boolean = 15,
  Time = 16,
};

inline constexpr uint8_t kMaxMessageDataTag = 16;

class IMessageData {
 public:
  virtual ~IMessageData() = default;

  virtual MessageDataType Type() const = 0;
  // Bytes the value takes when written (a blob counts its 4-byte length too).
  virtual uint32_t Size() const = 0;
  virtual void Write(IOutputStream& out) const = 0;
  virtual void Write(CSerializationStream& out) const = 0;
  virtual void Read(IInputStream& in) = 0;
  virtual void Read(CSerializationStream& in) = 0;
  // "(Type) value", for logs and diagnostics.
  virtual std::string ToString() const = 0;
};

}  // namespace io::message
