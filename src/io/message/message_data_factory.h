// Creation of an empty item from its wire tag.
#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "io/message/message_data.h"

namespace io::message {

// A default-valued item for `tag` (1..16). Tag 0 has no item type and is refused like any
// tag above 16: "CGenericMessage::CreateByType: Failed to create message data item. Unknown
// type specified '<tag>'.".
boost::shared_ptr<IMessageData> CreateMessageData(uint8_t tag);

}  // namespace io::message
