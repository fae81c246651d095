#include "io/message/message_data_blob.h"

#include "io/message/message_error.h"
#include "io/message/serialization_stream.h"
#include "io/message/stream_values.h"

namespace io::message {

CMessageDataBlob::CMessageDataBlob(uint64_t size) {
  if (size >= kMaxBlobSize) {
    RaiseError("Failed to create blob. Max blob size: [{}], New blob size: [{}]", kMaxBlobSize,
               size);
  }
  data_.resize(size);
}

CMessageDataBlob::CMessageDataBlob(std::vector<uint8_t> data) {
  if (data.size() >= kMaxBlobSize) {
    RaiseError("Failed to create blob. Max blob size: [{}], New blob size: [{}]", kMaxBlobSize,
               data.size());
  }
  data_ = std::move(data);
}

void CMessageDataBlob::Resize(uint64_t size) {
  if (size >= kMaxBlobSize) {
    RaiseError("Failed to resize buffer. Max blob size: [{}], New blob size: [{}]", kMaxBlobSize,
               size);
  }
  data_.resize(size);
}

// Data() lets a caller grow the block past the limit by hand; refuse to put that on the wire.
void CMessageDataBlob::CheckWritable() const {
  if (data_.size() >= kMaxBlobSize) {
    RaiseError("Failed to resize buffer. Max blob size: [{}], New blob size: [{}]", kMaxBlobSize,
               data_.size());
  }
}

void CMessageDataBlob::Write(IOutputStream& out) const {
  CheckWritable();
  WriteValue(out, static_cast<uint32_t>(data_.size()));
  WriteExact(out, data_.data(), data_.size());
}

void CMessageDataBlob::Write(CSerializationStream& out) const {
  CheckWritable();
  out.WriteValue(static_cast<uint32_t>(data_.size()));
  out.Write(data_.data(), static_cast<uint32_t>(data_.size()));
}

void CMessageDataBlob::Read(IInputStream& in) {
  const uint32_t length = ReadValue<uint32_t>(in);
  if (length >= kMaxBlobSize) {
    RaiseError("Failed to resize buffer. Max blob size: [{}], New blob size: [{}]", kMaxBlobSize,
               length);
  }
  data_ = ReadBlock(in, length);
}

void CMessageDataBlob::Read(CSerializationStream& in) {
  const uint32_t length = in.ReadValue<uint32_t>();
  if (length >= kMaxBlobSize) {
    RaiseError("Failed to resize buffer. Max blob size: [{}], New blob size: [{}]", kMaxBlobSize,
               length);
  }
  const auto bytes = in.ReadSpan(length);
  data_.assign(bytes.begin(), bytes.end());
}

std::string CMessageDataBlob::ToString() const {
  return "(Blob) Length = " + std::to_string(data_.size()) +
         ", Capacity = " + std::to_string(data_.capacity());
}

}  // namespace io::message
