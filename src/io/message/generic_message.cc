#include "io/message/generic_message.h"

#include <limits>
#include <vector>

#include <boost/make_shared.hpp>

#include "io/message/message_data_factory.h"
#include "io/message/message_error.h"
#include "io/message/serialization_stream.h"
#include "io/message/stream_values.h"

namespace io::message {
namespace {

// The identifier and the item count.
constexpr uint64_t kBodyPrefix = 8;
// Per item: the key and the tag.
constexpr uint64_t kItemPrefix = 5;
// The marker and N, ahead of the body.
constexpr uint64_t kHead = 5;

bool IsBlob(const IMessageData& item) {
  return item.Type() == MessageDataType::Blob;
}

}  // namespace

void CGenericMessage::Set(uint32_t key, boost::shared_ptr<IMessageData> value) {
  if (!value) RaiseError("CGenericMessage::Set(): Incorrect parameter <value: {null}>");
  items_[key] = std::move(value);
}

boost::shared_ptr<IMessageData> CGenericMessage::Get(uint32_t key) const {
  const auto it = items_.find(key);
  return it == items_.end() ? nullptr : it->second;
}

void CGenericMessage::Serialize(IOutputStream& out) const {
  uint64_t body = kBodyPrefix;
  for (const auto& [key, item] : items_) {
    body += kItemPrefix;
    if (!IsBlob(*item)) body += item->Size();
  }
  if (body + kHead > std::numeric_limits<uint32_t>::max()) {
    RaiseError("CGenericMessage::Serialize(): Message body is too large: %1 bytes", body);
  }

  auto buffer = boost::make_shared<std::vector<uint8_t>>(body + kHead);
  CSerializationStream stream(buffer);
  stream.WriteValue(kMarker);
  stream.WriteValue(static_cast<uint32_t>(body));
  stream.WriteValue(kIdentifier);
  stream.WriteValue(static_cast<uint32_t>(items_.size()));
  for (const auto& [key, item] : items_) {
    stream.WriteValue(key);
    stream.WriteValue(static_cast<uint8_t>(item->Type()));
    if (!IsBlob(*item)) item->Write(stream);
  }
  WriteExact(out, buffer->data(), stream.Used());

  for (const auto& [key, item] : items_) {
    if (IsBlob(*item)) item->Write(out);
  }
}

boost::shared_ptr<CGenericMessage> CGenericMessage::Deserialize(IInputStream& in) {
  if (ReadValue<uint8_t>(in) != kMarker) return nullptr;

  const uint32_t body_size = ReadValue<uint32_t>(in);
  if (body_size == 0) RaiseError("Failed to read from stream");
  auto body = boost::make_shared<std::vector<uint8_t>>(ReadBlock(in, body_size));
  CSerializationStream stream(body, body_size);

  if (stream.ReadValue<uint32_t>() != kIdentifier) {
    RaiseError(
        "CGenericMessage::Deserialize(): Identifier of {CGenericMessage} class is incorrect");
  }

  auto message = boost::make_shared<CGenericMessage>();
  const uint32_t count = stream.ReadValue<uint32_t>();
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t key = stream.ReadValue<uint32_t>();
    const uint8_t tag = stream.ReadValue<uint8_t>();
    auto item = CreateMessageData(tag);
    if (IsBlob(*item)) {
      item->Read(in);
    } else {
      item->Read(stream);
    }
    message->Set(key, std::move(item));
  }
  return message;
}

}  // namespace io::message
