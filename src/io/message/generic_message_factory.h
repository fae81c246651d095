// CGenericMessageFactory: rebuilds generic (class 0) and exception (class 1) messages.
//
// Failures: "Invalid generic message sequence number: %1" for a class 0 header with a
// sequence number, "Failed to deserialize generic message" in front of any error in a
// class 0 body, "Invalid message class: %1" (the class name) for other classes.
#pragma once

#include "io/message/message_factory.h"

namespace io::message {

class CGenericMessageFactory final : public IMessageFactory {
 public:
  boost::shared_ptr<IMessage> Create(const message_header_t& header, IInputStream& in) override;
};

}  // namespace io::message
