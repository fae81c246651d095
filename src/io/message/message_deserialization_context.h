// CMessageDeserializationContext: which factory rebuilds which message class.
//
// Constructing it creates and registers the generic message factory as the fallback for
// every class that has no factory of its own.
#pragma once

#include <cstdint>
#include <map>

#include <boost/shared_ptr.hpp>

#include "io/message/message_factory.h"
#include "rpcrt/base/mutex.h"

namespace io::message {

class CMessageDeserializationContext {
 public:
  CMessageDeserializationContext();

  // Routes `message_class` to `factory` from now on; a null factory removes the route.
  void Register(uint32_t message_class, boost::shared_ptr<IMessageFactory> factory);
  boost::shared_ptr<IMessageFactory> GetFactory(uint32_t message_class) const;

  boost::shared_ptr<IMessage> Create(const message_header_t& header, IInputStream& in) const;

 private:
  mutable rpcrt::base::Mutex mutex_;
  boost::shared_ptr<IMessageFactory> fallback_;
  std::map<uint32_t, boost::shared_ptr<IMessageFactory>> factories_ GUARDED_BY(mutex_);
};

}  // namespace io::message
