// A message that can be written to a byte stream and rebuilt by a factory from its header
// and the bytes that follow.
#pragma once

#include <cstdint>
#include <string>

#include "io/message/message_class.h"
#include "io/stream.h"

namespace io::message {

class IMessage {
 public:
  virtual ~IMessage() = default;

  virtual uint32_t GetClass() const = 0;
  virtual message_header_t GetHeader() const = 0;
  // Writes the body (not the header) to `out`.
  virtual void Serialize(IOutputStream& out) const = 0;
  // Hooks for a transport around a send and a receive; the messages here need neither.
  virtual void OnSend(uint64_t sequence) = 0;
  virtual void OnReceive(uint64_t sequence) = 0;
  // "Class: <class name>, Sequence: <number>".
  virtual std::string ToString() const;
};

}  // namespace io::message
