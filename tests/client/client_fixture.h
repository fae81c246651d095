// A DoRpc server on loopback with an NTLM account, a clock that never really waits, and a
// receiver that keeps every record of the library's log: what the client tests run against.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <boost/make_shared.hpp>

#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "platform/clock.h"
#include "rpcrt/server/server.h"
#include "server/do_rpc_service.h"

namespace zelqa::testing {

// Ticks advance only when the library sleeps, so retry waits take no time.
class FakeClock : public platform::IClock {
 public:
  DWORD Tick() override { return now_.load(); }
  void Sleep(DWORD ms) override {
    now_ += ms;
    const size_t count = ++sleeps_;
    if (on_sleep) on_sleep(count);
  }
  // Called after each sleep with the number of sleeps so far (set before the call starts).
  std::function<void(size_t)> on_sleep;

 private:
  std::atomic<DWORD> now_{0xFFFFF000u};  // close to the wrap, so tick arithmetic is exercised
  std::atomic<size_t> sleeps_{0};
};

class ClientTest : public ::testing::Test {
 protected:
  static constexpr char16_t kUser[] = u"ZELQA\\alice";
  static constexpr char16_t kPassword[] = u"Pa55-w0rd!";
  static constexpr char16_t kService[] = u"zelqa";

  void SetUp() override;
  void TearDown() override;

  // (Re)starts the server with `handler`; a restart keeps the port.
  void SetHandler(server::DoRpcHandler handler);
  uint16_t port() const { return server_->port(); }
  rpcrt::server::Server& server() { return *server_; }
  FakeClock& clock() { return clock_; }

  // Makes `values` (lines of a .reg file) the library's product key in the registry store and
  // reloads the options; the store is emptied again at tear-down.
  void UseProductValues(const std::string& values);

  // How many lines of the log's records so far contain the text (a record may hold several).
  size_t CountLogged(const std::string& text) const;
  bool Logged(const std::string& text) const { return CountLogged(text) > 0; }

  std::filesystem::path dir_;

 private:
  FakeClock clock_;
  platform::IClock* previous_clock_ = nullptr;
  bool registry_used_ = false;
  boost::shared_ptr<logging::receiver::CMemoryLog> log_ =
      boost::make_shared<logging::receiver::CMemoryLog>();
  std::unique_ptr<logging::scoped_receiver_t> attached_;
  std::unique_ptr<rpcrt::server::Server> server_;
};

}  // namespace zelqa::testing
