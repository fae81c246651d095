// Exact reads and writes on byte streams: fixed-size values, and blocks whose length came
// from the data itself.
//
// A short count raises "Failed to write value to the binary stream: ..." or "Failed to
// retrieve value from the binary stream: ..." with the count moved and the count expected.
#pragma once

#include <cstdint>
#include <vector>

#include "io/message/little_endian.h"
#include "io/stream.h"

namespace io::message {

void WriteExact(IOutputStream& out, const void* data, uint64_t size);
// For fixed-size values; a stream that hands out a value in pieces is read until it ends.
void ReadExact(IInputStream& in, void* data, uint32_t size);

// Reads `size` bytes whose length the sender claimed. Memory grows with what really
// arrives, so a claimed length far beyond the data costs a bounded allocation only.
std::vector<uint8_t> ReadBlock(IInputStream& in, uint64_t size);

template <WireNumber T>
void WriteValue(IOutputStream& out, T value) {
  uint8_t bytes[sizeof(T)];
  StoreLittleEndian(bytes, value);
  WriteExact(out, bytes, sizeof(T));
}

template <WireNumber T>
T ReadValue(IInputStream& in) {
  uint8_t bytes[sizeof(T)];
  ReadExact(in, bytes, sizeof(T));
  return LoadLittleEndian<T>(bytes);
}

}  // namespace io::message
