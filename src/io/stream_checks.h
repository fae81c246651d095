// Reads and writes of fixed-size values on byte streams, where a short count is an error.
#pragma once

#include <cstdint>

#include "io/stream.h"

namespace io {

// Writes the 4 bytes of `value`; raises exc::runtime_exc_t when fewer were written.
void write_value(io::IOutputStream& stream, uint32_t value);

// Reads exactly `size` bytes into `data`; raises exc::runtime_exc_t when fewer arrived.
void read_value(io::IInputStream& stream, void* data, uint32_t size);

}  // namespace io
