#include "client_fixture.h"

#include <fstream>
#include <random>
#include <ranges>
#include <string_view>

#include "common/options.h"
#include "exc/string_conv.h"
#include "platform/registry.h"

namespace zelqa::testing {

void ClientTest::SetUp() {
  dir_ = std::filesystem::temp_directory_path() /
         ("zelqa-client-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir_);
  std::ofstream(dir_ / "accounts") << "ZELQA:alice:" << exc::wide_to_utf8(kPassword) << "\n";
  previous_clock_ = platform::SetClock(&clock_);
  attached_ = std::make_unique<logging::scoped_receiver_t>(log_);
  SetHandler(server::EchoHandler);
}

void ClientTest::TearDown() {
  if (registry_used_) {
    platform::ReloadRegistryForTesting((dir_ / "absent.reg").string());
    common::ReloadOptionsForTesting();
  }
  if (server_) server_->Stop();
  server_.reset();
  attached_.reset();
  platform::SetClock(previous_clock_);
  std::filesystem::remove_all(dir_);
}

void ClientTest::SetHandler(server::DoRpcHandler handler) {
  rpcrt::server::ServerOptions options;
  options.address = "127.0.0.1";
  options.port = server_ ? server_->port() : 0;
  rpcrt::security::ServerCredentials credentials;
  credentials.ntlm_account_file = (dir_ / "accounts").string();
  options.credentials = credentials;
  if (server_) server_->Stop();
  server_ = std::make_unique<rpcrt::server::Server>(options);
  server::RegisterDoRpc(*server_, std::move(handler), /*require_privacy=*/true);
  server_->Start();
}

void ClientTest::UseProductValues(const std::string& values) {
  const auto reg = dir_ / "registry.reg";
  std::ofstream(reg, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"
                                       << values;
  platform::ReloadRegistryForTesting(reg.string());
  common::ReloadOptionsForTesting();
  registry_used_ = true;
}

size_t ClientTest::CountLogged(const std::string& text) const {
  size_t n = 0;
  for (const std::string& record : log_->records()) {
    for (const auto line : std::views::split(record, std::string_view("\r\n"))) {
      n += std::string_view(line.begin(), line.end()).find(text) != std::string_view::npos;
    }
  }
  return n;
}

}  // namespace zelqa::testing
