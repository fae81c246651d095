// CGenericMessage: typed items under 32-bit keys, written in ascending key order.
//
// Body layout: 0xEE, N (u32), 0x7783710F, item count (u32), then per item the key (u32),
// the tag (u8) and, except for blobs, the payload. N counts the bytes from the identifier
// to the end of the last payload. The blobs follow the body in key order, each as its
// length (u32) and its bytes.
#pragma once

#include <cstdint>
#include <map>

#include <boost/shared_ptr.hpp>

#include "io/message/message.h"
#include "io/message/message_data.h"

namespace io::message {

class CGenericMessage final : public IMessage {
 public:
  static constexpr uint8_t kMarker = 0xEE;
  static constexpr uint32_t kIdentifier = 0x7783710F;

  using items_t = std::map<uint32_t, boost::shared_ptr<IMessageData>>;

  // Stores `value` under `key`, replacing what was there; a null item raises.
  void Set(uint32_t key, boost::shared_ptr<IMessageData> value);
  // The item under `key`, or null.
  boost::shared_ptr<IMessageData> Get(uint32_t key) const;
  // The item under `key` if it has exactly the type `Item`, else null.
  template <class Item>
  boost::shared_ptr<Item> GetAs(uint32_t key) const {
    auto item = Get(key);
    if (!item || item->Type() != Item::kType) return {};
    return boost::static_pointer_cast<Item>(item);
  }
  bool Remove(uint32_t key) { return items_.erase(key) != 0; }
  const items_t& Items() const { return items_; }

  uint32_t GetClass() const override { return static_cast<uint32_t>(MessageClass::Generic); }
  message_header_t GetHeader() const override { return {GetClass(), 0}; }
  void Serialize(IOutputStream& out) const override;
  void OnSend(uint64_t) override {}
  void OnReceive(uint64_t) override {}

  // Reads a message body. A first byte other than 0xEE yields null and no error; a
  // malformed body raises and nothing of it is returned.
  static boost::shared_ptr<CGenericMessage> Deserialize(IInputStream& in);

 private:
  items_t items_;
};

}  // namespace io::message
