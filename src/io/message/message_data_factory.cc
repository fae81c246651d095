#include "io/message/message_data_factory.h"

#include <array>

#include <boost/make_shared.hpp>

#include "io/message/message_data_blob.h"
#include "io/message/message_data_guid.h"
#include "io/message/message_data_numeric.h"
#include "io/message/message_data_string.h"
#include "io/message/message_error.h"

namespace io::message {
namespace {

using creator_t = boost::shared_ptr<IMessageData> (*)();

template <class Item>
boost::shared_ptr<IMessageData> Make() {
  return boost::make_shared<Item>();
}

// Indexed by tag; entry 0 stays empty.
constexpr std::array<creator_t, kMaxMessageDataTag + 1> kCreators = {
    nullptr,
    &Make<CMessageDataBlob>,
    &Make<CMessageDataInt8>,
    &Make<CMessageDataUInt8>,
    &Make<CMessageDataInt16>,
    &Make<CMessageDataUInt16>,
    &Make<CMessageDataInt32>,
    &Make<CMessageDataUInt32>,
    &Make<CMessageDataInt64>,
    &Make<CMessageDataUInt64>,
    &Make<CMessageDataFloat32>,
    &Make<CMessageDataFloat64>,
    &Make<CMessageDataString>,
    &Make<CMessageDataWString>,
    &Make<CMessageDataGuid>,
    &Make<CMessageDataBoolean>,
    &Make<CMessageDataTime>,
};

}  // namespace

boost::shared_ptr<IMessageData> CreateMessageData(uint8_t tag) {
  if (tag > kMaxMessageDataTag || kCreators[tag] == nullptr) {
    RaiseError(
        "CGenericMessage::CreateByType: Failed to create message data item. Unknown type "
        "specified '%1'.",
        static_cast<unsigned>(tag));
  }
  return kCreators[tag]();
}

}  // namespace io::message
