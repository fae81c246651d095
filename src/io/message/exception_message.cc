#include "io/message/exception_message.h"

#include <limits>

#include <boost/make_shared.hpp>

#include "io/message/message_error.h"
#include "io/message/stream_values.h"

namespace io::message {

CExceptionMessage::CExceptionMessage(block_t block, uint64_t sequence)
    : block_(block ? std::move(block) : boost::make_shared<const std::vector<uint8_t>>()),
      sequence_(sequence) {}

void CExceptionMessage::Serialize(IOutputStream& out) const {
  if (block_->size() > std::numeric_limits<uint32_t>::max()) {
    RaiseError("CExceptionMessage::Serialize(): Block is too large: %1 bytes", block_->size());
  }
  WriteValue(out, static_cast<uint32_t>(block_->size()));
  WriteExact(out, block_->data(), block_->size());
}

boost::shared_ptr<CExceptionMessage> CExceptionMessage::Deserialize(IInputStream& in,
                                                                    uint64_t sequence) {
  const uint32_t length = ReadValue<uint32_t>(in);
  auto block = boost::make_shared<const std::vector<uint8_t>>(ReadBlock(in, length));
  return boost::make_shared<CExceptionMessage>(std::move(block), sequence);
}

}  // namespace io::message
