#include "io/message/message_deserialization_context.h"

#include <boost/make_shared.hpp>

#include "io/message/generic_message_factory.h"

namespace io::message {

CMessageDeserializationContext::CMessageDeserializationContext()
    : fallback_(boost::make_shared<CGenericMessageFactory>()) {
  factories_[static_cast<uint32_t>(MessageClass::Generic)] = fallback_;
  factories_[static_cast<uint32_t>(MessageClass::Exception)] = fallback_;
}

void CMessageDeserializationContext::Register(uint32_t message_class,
                                              boost::shared_ptr<IMessageFactory> factory) {
  rpcrt::base::MutexLock lock(mutex_);
  if (factory) {
    factories_[message_class] = std::move(factory);
  } else {
    factories_.erase(message_class);
  }
}

boost::shared_ptr<IMessageFactory> CMessageDeserializationContext::GetFactory(
    uint32_t message_class) const {
  rpcrt::base::MutexLock lock(mutex_);
  const auto it = factories_.find(message_class);
  return it != factories_.end() ? it->second : fallback_;
}

// The factory runs outside the lock: it reads from a stream and may block for long.
boost::shared_ptr<IMessage> CMessageDeserializationContext::Create(const message_header_t& header,
                                                                   IInputStream& in) const {
  return GetFactory(header.message_class)->Create(header, in);
}

}  // namespace io::message
