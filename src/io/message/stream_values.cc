#include "io/message/stream_values.h"

#include <algorithm>

#include "io/message/message_error.h"
#include "io/stream_checks.h"

namespace io::message {
namespace {

// The first chunk of a claimed block, and the most one read may add on top of the data
// already received: a liar gets at most this much plus what it really sent.
constexpr uint64_t kFirstChunk = 64 * 1024;
constexpr uint64_t kMaxChunk = 16 * 1024 * 1024;

[[noreturn]] void RaiseShortRead(uint64_t got, uint64_t expected) {
  RaiseError(
      "Failed to retrieve value from the binary stream: received less bytes (%1) than "
      "expected (%2).",
      got, expected);
}

// Gathers the pieces of a value that a stream hands out in parts, so that a socket which
// delivers 2 bytes now and 2 later still yields the whole value.
class CWholeReadStream final : public IInputStream {
 public:
  explicit CWholeReadStream(IInputStream& inner) : inner_(inner) {}
  uint64_t Read(void* data, uint64_t size) override {
    auto* bytes = static_cast<uint8_t*>(data);
    uint64_t got = 0;
    while (got < size) {
      const uint64_t n = inner_.Read(bytes + got, size - got);
      if (n == 0) break;
      if (n > size - got) return n + got;  // a broken stream: report it, the check refuses
      got += n;
    }
    return got;
  }

 private:
  IInputStream& inner_;
};

}  // namespace

void WriteExact(IOutputStream& out, const void* data, uint64_t size) {
  if (size == 0) return;
  const uint64_t written = out.Write(data, size);
  if (written != size) {
    RaiseError(
        "Failed to write value to the binary stream: written less bytes (%1) than expected "
        "(%2).",
        written, size);
  }
}

void ReadExact(IInputStream& in, void* data, uint32_t size) {
  CWholeReadStream whole(in);
  io::read_value(whole, data, size);
}

std::vector<uint8_t> ReadBlock(IInputStream& in, uint64_t size) {
  std::vector<uint8_t> block;
  uint64_t chunk = kFirstChunk;
  while (block.size() < size) {
    const uint64_t have = block.size();
    const uint64_t want = std::min(size - have, chunk);
    block.resize(have + want);
    uint64_t got = 0;
    while (got < want) {
      const uint64_t n = in.Read(block.data() + have + got, want - got);
      if (n == 0 || n > want - got) break;
      got += n;
    }
    if (got != want) RaiseShortRead(have + got, size);
    chunk = std::min(chunk * 2, kMaxChunk);
  }
  return block;
}

}  // namespace io::message
