#include "io/message/message_class.h"

#include <string>

namespace io::message {

std::string GetMessageClassName(uint32_t message_class) {
  switch (static_cast<MessageClass>(message_class)) {
    case MessageClass::Generic:
      return "Generic message";
    case MessageClass::Exception:
      return "Exception message";
    case MessageClass::NasMainExtent:
      return "NAS Main extent message";
    case MessageClass::NasMainMetaExtent:
      return "NAS Main Meta extent message";
    case MessageClass::NasMainDataExtent:
      return "NAS Main Data extent message";
    case MessageClass::NasSecondaryExtent:
      return "NAS Secondary extent message";
    case MessageClass::NasSecondaryMetaExtent:
      return "NAS Secondary Meta extent message";
    case MessageClass::NasSecondaryDataExtent:
      return "NAS Secondary Data extent message";
    case MessageClass::NasProxy:
      return "NAS Proxy message";
    case MessageClass::NasMaster:
      return "NAS Master message";
  }
  return "Unknown message class (" + std::to_string(message_class) + ")";
}

}  // namespace io::message
