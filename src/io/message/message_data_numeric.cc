#include "io/message/message_data_numeric.h"

namespace io::message::detail {

std::string_view NumericTypeName(MessageDataType type) {
  switch (type) {
    case MessageDataType::Int8:
      return "Int8";
    case MessageDataType::UInt8:
      return "UInt8";
    case MessageDataType::Int16:
      return "Int16";
    case MessageDataType::UInt16:
      return "UInt16";
    case MessageDataType::Int32:
      return "Int32";
    case MessageDataType::UInt32:
      return "UInt32";
    case MessageDataType::Int64:
      return "Int64";
    case MessageDataType::UInt64:
      return "UInt64";
    case MessageDataType::Float32:
      return "Float32";
    case MessageDataType::Float64:
      return "Float64";
    case MessageDataType::Boolean:
      return "Boolean";
    case MessageDataType::Time:
      return "Time";
    default:
      return "?";
  }
}

}  // namespace io::message::detail
