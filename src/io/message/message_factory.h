// Factories rebuild a message from its header and the bytes that follow it.
#pragma once

#include <boost/shared_ptr.hpp>

#include "io/message/message.h"

namespace io::message {

class IMessageFactory {
 public:
  virtual ~IMessageFactory() = default;
  // The message, or null when the stream holds none (a generic body without its marker).
  virtual boost::shared_ptr<IMessage> Create(const message_header_t& header, IInputStream& in) = 0;
};

}  // namespace io::message
