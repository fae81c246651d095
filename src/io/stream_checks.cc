#include "io/stream_checks.h"

#include "exc/exceptions.h"
#include "util/narrow_cast.h"

namespace io {

void write_value(io::IOutputStream& stream, uint32_t value) {
  const uint64_t written = stream.Write(&value, sizeof value);
  const uint32_t count = util::narrow_cast(static_cast<int64_t>(written));
  if (count != sizeof value) {
    throw exc::runtime_exc_t(
        "Failed to write value to the binary stream: written less bytes (%1) than expected "
        "(%2).",
        count, static_cast<uint32_t>(sizeof value));
  }
}

void read_value(io::IInputStream& stream, void* data, uint32_t size) {
  const uint64_t received = stream.Read(data, size);
  const uint32_t count = util::narrow_cast(static_cast<int64_t>(received));
  if (count != size) {
    throw exc::runtime_exc_t(
        "Failed to retrieve value from the binary stream: received less bytes (%1) than "
        "expected (%2).",
        count, size);
  }
}

}  // namespace io
