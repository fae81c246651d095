#include "io/message/message.h"

namespace io::message {

std::string IMessage::ToString() const {
  const message_header_t header = GetHeader();
  return "Class: " + GetMessageClassName(header.message_class) +
         ", Sequence: " + std::to_string(header.sequence);
}

}  // namespace io::message
