// Message classes: the 32-bit number that tells a receiver which message follows.
#pragma once

#include <cstdint>
#include <string>

namespace io::message {

enum class MessageClass : uint32_t {
  Generic = 0,
  Exception = 1,
  NasMainExtent = 100,
  NasMainMetaExtent = 101,
  NasMainDataExtent = 102,
  NasSecondaryExtent = 103,
  NasSecondaryMetaExtent = 104,
  NasSecondaryDataExtent = 105,
  NasProxy = 106,
  NasMaster = 107,
};

// The display name, e.g. "Generic message"; "Unknown message class (N)" for any other number.
std::string GetMessageClassName(uint32_t message_class);

// What travels ahead of a message body; the transport that carries messages sets how.
struct message_header_t {
  uint32_t message_class = 0;
  uint64_t sequence = 0;
};

}  // namespace io::message
