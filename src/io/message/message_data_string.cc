#include "io/message/message_data_string.h"

#include <cstring>
#include <limits>

#include "io/message/little_endian.h"
#include "io/message/message_error.h"
#include "io/message/serialization_stream.h"
#include "io/message/stream_values.h"
#include "platform/utf_convert.h"

namespace io::message {
namespace {

// The length field is signed 32-bit and the item's size (4 + bytes) must fit 32 bits.
constexpr uint64_t kMaxStringBytes = std::numeric_limits<uint32_t>::max() - 4;

int32_t CheckedLength(size_t units, size_t unit_size, const char* who) {
  if (units > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
      units * unit_size > kMaxStringBytes) {
    RaiseError("%1::Write(): String is too long to be written, length: %2", who, units);
  }
  return static_cast<int32_t>(units);
}

int32_t CheckReadLength(int32_t length, const char* who) {
  if (length < 0) RaiseError("%1::Read(): Failed to read string with negative length", who);
  return length;
}

std::u16string UnitsFromBytes(const uint8_t* bytes, size_t units) {
  std::u16string text(units, u'\0');
  for (size_t i = 0; i < units; ++i) text[i] = LoadLittleEndian<uint16_t>(bytes + 2 * i);
  return text;
}

std::vector<uint8_t> BytesFromUnits(const std::u16string& text) {
  std::vector<uint8_t> bytes(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) StoreLittleEndian<uint16_t>(&bytes[2 * i], text[i]);
  return bytes;
}

}  // namespace

uint32_t CMessageDataString::Size() const {
  return 4 + static_cast<uint32_t>(CheckedLength(value_.size(), 1, "String"));
}

void CMessageDataString::Write(IOutputStream& out) const {
  WriteValue(out, CheckedLength(value_.size(), 1, "String"));
  WriteExact(out, value_.data(), value_.size());
}

void CMessageDataString::Write(CSerializationStream& out) const {
  out.WriteValue(CheckedLength(value_.size(), 1, "String"));
  out.Write(value_.data(), static_cast<uint32_t>(value_.size()));
}

void CMessageDataString::Read(IInputStream& in) {
  const int32_t length = CheckReadLength(ReadValue<int32_t>(in), "String");
  const auto bytes = ReadBlock(in, static_cast<uint32_t>(length));
  value_.assign(bytes.begin(), bytes.end());
}

void CMessageDataString::Read(CSerializationStream& in) {
  const int32_t length = CheckReadLength(in.ReadValue<int32_t>(), "String");
  const auto bytes = in.ReadSpan(static_cast<uint32_t>(length));
  value_.assign(bytes.begin(), bytes.end());
}

std::string CMessageDataString::ToString() const {
  return "(String) \"" + value_ + "\"";
}

uint32_t CMessageDataWString::Size() const {
  return 4 + 2 * static_cast<uint32_t>(CheckedLength(value_.size(), 2, "WString"));
}

void CMessageDataWString::Write(IOutputStream& out) const {
  WriteValue(out, CheckedLength(value_.size(), 2, "WString"));
  const auto bytes = BytesFromUnits(value_);
  WriteExact(out, bytes.data(), bytes.size());
}

void CMessageDataWString::Write(CSerializationStream& out) const {
  out.WriteValue(CheckedLength(value_.size(), 2, "WString"));
  const auto bytes = BytesFromUnits(value_);
  out.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void CMessageDataWString::Read(IInputStream& in) {
  const int32_t length = CheckReadLength(ReadValue<int32_t>(in), "WString");
  const auto bytes = ReadBlock(in, 2 * static_cast<uint64_t>(length));
  value_ = UnitsFromBytes(bytes.data(), static_cast<uint32_t>(length));
}

void CMessageDataWString::Read(CSerializationStream& in) {
  const int32_t length = CheckReadLength(in.ReadValue<int32_t>(), "WString");
  const auto bytes = in.ReadSpan(2 * static_cast<uint32_t>(length));
  value_ = UnitsFromBytes(bytes.data(), static_cast<uint32_t>(length));
}

std::string CMessageDataWString::ToString() const {
  return "(WString) \"" + platform::Utf16ToUtf8(value_) + "\"";
}

}  // namespace io::message
