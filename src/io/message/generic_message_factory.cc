#include "io/message/generic_message_factory.h"

#include <exception>

#include "exc/rethrow.h"
#include "io/message/exception_message.h"
#include "io/message/generic_message.h"
#include "io/message/message_error.h"

namespace io::message {

boost::shared_ptr<IMessage> CGenericMessageFactory::Create(const message_header_t& header,
                                                           IInputStream& in) {
  switch (static_cast<MessageClass>(header.message_class)) {
    case MessageClass::Generic:
      if (header.sequence != 0) {
        RaiseError("Invalid generic message sequence number: %1", header.sequence);
      }
      try {
        return CGenericMessage::Deserialize(in);
      } catch (const std::exception& e) {
        exc::rethrow_with_context("Failed to deserialize generic message", e);
      }
    case MessageClass::Exception:
      return CExceptionMessage::Deserialize(in, header.sequence);
    default:
      RaiseError("Invalid message class: %1", GetMessageClassName(header.message_class));
  }
}

}  // namespace io::message
