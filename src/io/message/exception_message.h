// CExceptionMessage: an opaque byte block (a saved error record) with the sequence number
// of the message it answers. Written as its length (u32) and the bytes.
#pragma once

#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "io/message/message.h"

namespace io::message {

class CExceptionMessage final : public IMessage {
 public:
  using block_t = boost::shared_ptr<const std::vector<uint8_t>>;

  CExceptionMessage(block_t block, uint64_t sequence);

  const block_t& Block() const { return block_; }

  uint32_t GetClass() const override { return static_cast<uint32_t>(MessageClass::Exception); }
  message_header_t GetHeader() const override { return {GetClass(), sequence_}; }
  void Serialize(IOutputStream& out) const override;
  void OnSend(uint64_t) override {}
  void OnReceive(uint64_t) override {}

  // Reads the block that follows a class 1 header.
  static boost::shared_ptr<CExceptionMessage> Deserialize(IInputStream& in, uint64_t sequence);

 private:
  block_t block_;
  uint64_t sequence_;
};

}  // namespace io::message
