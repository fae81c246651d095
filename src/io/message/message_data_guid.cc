#include "io/message/message_data_guid.h"

#include <cstdio>
#include <cstring>

#include "io/message/little_endian.h"
#include "io/message/serialization_stream.h"
#include "io/message/stream_values.h"

namespace io::message {
namespace {

void Encode(const GUID& g, uint8_t (&out)[16]) {
  StoreLittleEndian(out, g.Data1);
  StoreLittleEndian(out + 4, g.Data2);
  StoreLittleEndian(out + 6, g.Data3);
  std::memcpy(out + 8, g.Data4, 8);
}

GUID Decode(const uint8_t* in) {
  GUID g;
  g.Data1 = LoadLittleEndian<uint32_t>(in);
  g.Data2 = LoadLittleEndian<uint16_t>(in + 4);
  g.Data3 = LoadLittleEndian<uint16_t>(in + 6);
  std::memcpy(g.Data4, in + 8, 8);
  return g;
}

}  // namespace

void CMessageDataGuid::Write(IOutputStream& out) const {
  uint8_t bytes[16];
  Encode(value_, bytes);
  WriteExact(out, bytes, sizeof(bytes));
}

void CMessageDataGuid::Write(CSerializationStream& out) const {
  uint8_t bytes[16];
  Encode(value_, bytes);
  out.Write(bytes, sizeof(bytes));
}

void CMessageDataGuid::Read(IInputStream& in) {
  uint8_t bytes[16];
  ReadExact(in, bytes, sizeof(bytes));
  value_ = Decode(bytes);
}

void CMessageDataGuid::Read(CSerializationStream& in) {
  value_ = Decode(in.ReadSpan(16).data());
}

std::string CMessageDataGuid::ToString() const {
  char text[37];
  std::snprintf(text, sizeof(text), "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned>(value_.Data1), value_.Data2, value_.Data3, value_.Data4[0],
                value_.Data4[1], value_.Data4[2], value_.Data4[3], value_.Data4[4], value_.Data4[5],
                value_.Data4[6], value_.Data4[7]);
  return std::string("(Guid) ") + text;
}

}  // namespace io::message
