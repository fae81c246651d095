// Feeds arbitrary bytes to the message factory. The first byte picks the header and how
// many bytes the stream hands out per read; the rest is the stream.
//
// Beyond not crashing: every message that parses must serialise to a canonical form that
// parses again to the very same bytes, and every failure must be the library's exception.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "exc/exc_base.h"
#include "io/memory_stream.h"
#include "io/message/exception_message.h"
#include "io/message/generic_message.h"
#include "io/message/generic_message_factory.h"
#include "io/message/message_data.h"

namespace {

class CChoppyInputStream final : public io::IInputStream {
 public:
  CChoppyInputStream(std::span<const uint8_t> data, uint64_t step) : inner_(data), step_(step) {}
  uint64_t Read(void* out, uint64_t size) override {
    return inner_.Read(out, size < step_ ? size : step_);
  }

 private:
  io::CMemoryInputStream inner_;
  uint64_t step_;
};

std::vector<uint8_t> Serialize(const io::message::IMessage& message) {
  io::CMemoryOutputStream out;
  message.Serialize(out);
  return out.Take();
}

void CheckCanonical(const io::message::IMessage& message, uint32_t message_class) {
  for (const auto& [key, item] :
       static_cast<const io::message::CGenericMessage&>(message).Items()) {
    (void)item->ToString();
  }
  (void)message.ToString();
  const auto first = Serialize(message);
  io::message::CGenericMessageFactory factory;
  io::CMemoryInputStream in(first);
  const auto again = factory.Create({message_class, message.GetHeader().sequence}, in);
  if (!again || Serialize(*again) != first || in.Remaining() != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  // Mostly generic messages; sometimes exception messages, a stray sequence, other classes.
  const uint32_t classes[] = {0, 0, 0, 0, 0, 1, 106, 2};
  const uint32_t message_class = classes[control & 7];
  const uint64_t sequence = (control & 0x08) && message_class == 0 ? 3 : 0;
  const uint64_t step = (control >> 4) == 0 ? UINT64_MAX : (control >> 4);

  CChoppyInputStream in({data + 1, size - 1}, step);
  io::message::CGenericMessageFactory factory;
  try {
    const auto message = factory.Create({message_class, sequence}, in);
    if (message && message_class == 0) CheckCanonical(*message, 0);
    if (message && message_class == 1) {
      const auto first = Serialize(*message);
      io::CMemoryInputStream again(first);
      if (Serialize(*factory.Create({1, sequence}, again)) != first) std::abort();
    }
  } catch (const exc::exc_base_t&) {
    // Refused input: the expected outcome for most of the space.
  }
  return 0;
}
