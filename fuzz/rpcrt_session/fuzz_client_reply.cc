// A client bound to a "server" that answers with arbitrary bytes: every call must end in a
// result or an RpcError, never a crash or a hang.
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "rpcrt/client/binding.h"
#include "rpcrt/server/transport/tcp_listener.h"

namespace {

using rpcrt::transport::Deadline;

constexpr uint32_t kCallTimeoutMs = 3000;
// The bind and the call are each bounded by the call time-out; a call that outlives both, by
// more than a loaded machine explains, hung. It is judged by time alone: a fault can end a
// call with 1818 at once, which is no hang.
constexpr auto kHang = std::chrono::milliseconds(2 * kCallTimeoutMs + 4000);

constexpr rpcrt::SyntaxId kInterface{rpcrt::MakeUuid("12345678-1234-abcd-ef00-0123456789ab"), 1, 0};

// Answers each connection with the current input, after reading what the client sent.
class Responder {
 public:
  Responder() : listener_("127.0.0.1", 0) {
    thread_ = std::thread([this] {
      while (auto s = listener_.Accept()) {
        std::vector<uint8_t> answer;
        {
          std::lock_guard lock(mutex_);
          answer = answer_;
        }
        try {
          uint8_t buf[8192];
          s->ReadSome(buf, Deadline::AfterMs(1000));
          s->WriteAll(answer, Deadline::AfterMs(1000));
          // Let the client read to the end, then see the stream close.
          s->ShutdownWrite();
          for (;;) s->ReadSome(buf, Deadline::AfterMs(2000));
        } catch (const std::exception&) {
        }
      }
    });
  }
  void Set(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    answer_.assign(data, data + size);
  }
  uint16_t port() const { return listener_.port(); }

 private:
  rpcrt::transport::TcpListener listener_;
  std::mutex mutex_;
  std::vector<uint8_t> answer_;
  std::thread thread_;
};

Responder& TheResponder() {
  static auto* r = new Responder();
  return *r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Responder& responder = TheResponder();
  responder.Set(data, size);
  rpcrt::client::Binding binding(rpcrt::client::StringBinding::Parse(
      "ncacn_ip_tcp:127.0.0.1[" + std::to_string(responder.port()) + "]"));
  binding.SetCallTimeout(kCallTimeoutMs);
  binding.SetDontLinger(true);
  std::vector<uint8_t> stub{1, 2, 3, 4};
  const auto start = std::chrono::steady_clock::now();
  try {
    binding.Call(kInterface, 0, stub);
  } catch (const rpcrt::RpcError&) {
  }
  if (std::chrono::steady_clock::now() - start > kHang) __builtin_trap();
  return 0;
}
