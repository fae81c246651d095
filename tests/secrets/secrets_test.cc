// A password given to RpcConnect must stay inside the connection: never in a log record
// (delivered, pending or sent as a datagram to the external collector), never in an error
// text, and wiped from every buffer that held it before the buffer is freed.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "common/options.h"
#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "logging/receiver/output_debug_string_log.h"
#include "tests/logging/test_support.h"
#include "tests/secrets/freed_block_scanner.h"
#include "zelqa/zelqa_rpc_client.h"

extern char** environ;

namespace zelqa::testing {
namespace {

// The reference server as a process of its own, so that its copy of the password (it reads
// the accounts file) is not in this heap.
class ServerProcess {
 public:
  ServerProcess(const std::string& accounts, const std::string& out) {
    const char* argv[] = {ZELQA_SERVER_PROGRAM, "--listen", "127.0.0.1:0", "--accounts",
                          accounts.c_str(),     "--no-epm", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ))
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 200 && pid_ > 0 && port_ == 0; ++i) {
      const std::string text = logtest::read_file(out);
      const size_t at = text.find(" port ");
      if (at != std::string::npos && text.find('\n', at) != std::string::npos)
        port_ = static_cast<uint32_t>(std::stoul(text.substr(at + 6)));
      else
        usleep(20000);
    }
  }
  ~ServerProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  uint32_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  uint32_t port_ = 0;
};

std::string Utf16Bytes(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

class SecretsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::mt19937 random(std::random_device{}());
    for (int i = 0; i < 12; ++i) password_ += static_cast<char>('a' + random() % 26);
    password_ = "Sz-" + password_ + "-9";
    password16_.assign(password_.begin(), password_.end());
    collector_ = std::make_unique<logtest::collector_t>();
    char collector_port[16];
    std::snprintf(collector_port, sizeof collector_port, "%08x", collector_->port());
    std::ofstream(dir_.file("accounts")) << "ZELQA:alice:" << password_ << "\n";
    registry_ = std::make_unique<logtest::registry_file_t>(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"
        "\"RpcVerboseLog\"=dword:00000001\r\n"
        "\"RpcRetryCount\"=dword:00000001\r\n"
        "\"RpcRetryIntervalMs\"=dword:00000001\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZelqA\\Zelqa NFS]\r\n"
        "\"ExtLogEnabled\"=dword:00000001\r\n"
        "\"ExtLogHost\"=\"127.0.0.1\"\r\n"
        "\"ExtLogPort\"=dword:" +
        std::string(collector_port) + "\r\n");
    common::ReloadOptionsForTesting();
    server_ = std::make_unique<ServerProcess>(dir_.file("accounts"), dir_.file("server.out"));
  }
  static void TearDownTestSuite() {
    server_.reset();
    registry_.reset();
    collector_.reset();
    common::ReloadOptionsForTesting();
  }

  // Connects (with `password`), calls, and disconnects; a failing step leaves its text in
  // `errors`. Errors are expected on the wrong-password and unknown-host paths.
  static void Session(const char16_t* host, const std::u16string& password,
                      std::vector<std::u16string>& errors) {
    zelqa_char_t* id = nullptr;
    zelqa_char_t* error = nullptr;
    auto keep = [&] {
      if (error != nullptr) errors.emplace_back(error);
      LibStrFree(error);
      error = nullptr;
    };
    const uint32_t port = host == kLoopback ? server_->port() : 1;
    if (RpcConnect(host, port, u"ZELQA\\alice", password.c_str(), u"zelqa", &id, &error) != 0) {
      keep();
      return;
    }
    zelqa_char_t* answer = nullptr;
    if (DoRpcCall(id, u"one", u"two", &answer, &error) == 0) LibStrFree(answer);
    keep();
    RpcDisconnect(id, &error);
    keep();
    LibStrFree(id);
  }

  // True when `text` holds the password in any encoding a record or datagram could carry.
  static bool Reveals(const std::string& text) {
    return text.find(password_) != std::string::npos ||
           text.find(Utf16Bytes(password16_)) != std::string::npos;
  }

  static constexpr const char16_t* kLoopback = u"127.0.0.1";
  static inline logtest::temp_dir_t dir_;
  static inline std::unique_ptr<logtest::collector_t> collector_;
  static inline std::string password_;
  static inline std::u16string password16_;
  static inline std::unique_ptr<logtest::registry_file_t> registry_;
  static inline std::unique_ptr<ServerProcess> server_;
};

TEST_F(SecretsTest, NoRecordErrorTextOrDatagramCarriesThePassword) {
  ASSERT_NE(server_->port(), 0u) << logtest::read_file(dir_.file("server.out"));
  std::vector<std::u16string> errors;
  const std::u16string wrong = password16_ + u"x";

  // Nothing is attached yet in this process: the records wait in the pending list.
  Session(kLoopback, password16_, errors);
  EXPECT_GT(logging::process_logger()->pending_count(), 0u);
  auto memory = boost::make_shared<logging::receiver::CMemoryLog>();
  {
    logging::scoped_receiver_t attached(memory);  // delivers the pending records
    Session(kLoopback, wrong, errors);
    Session(u"no-such-host.invalid", password16_, errors);
  }
  {
    logging::scoped_receiver_t attached(
        boost::make_shared<logging::receiver::COutputDebugStringLog>());
    Session(kLoopback, password16_, errors);
    Session(kLoopback, wrong, errors);
  }

  const auto records = memory->records();
  ASSERT_GT(records.size(), 10u);
  for (const std::string& record : records) EXPECT_FALSE(Reveals(record)) << record;
  size_t datagrams = 0;
  while (auto datagram = collector_->receive(200)) {
    ++datagrams;
    EXPECT_FALSE(Reveals(*datagram)) << *datagram;
  }
  EXPECT_GT(datagrams, 5u);
  // Two wrong passwords and an unknown host.
  EXPECT_GE(errors.size(), 3u);
  for (const std::u16string& text : errors) {
    EXPECT_EQ(text.find(password16_.substr(0, 8)), std::u16string::npos);
  }
}

TEST_F(SecretsTest, BuffersThatHeldThePasswordAreWipedBeforeTheyAreFreed) {
  std::vector<std::u16string> errors;
  const std::u16string wrong = password16_ + u"x";
  // The needles are the password's bytes as UTF-16 and UTF-8; the wrong password begins
  // with the right one, so they find it too.
  std::vector<std::string> needles = {Utf16Bytes(password16_), password_};
  FreedBlockScanner::Start(std::move(needles));
  Session(kLoopback, password16_, errors);
  Session(kLoopback, wrong, errors);
  Session(u"no-such-host.invalid", password16_, errors);
  const std::vector<std::string> unwiped = FreedBlockScanner::Stop();
  for (const std::string& block : unwiped) ADD_FAILURE() << block;
  EXPECT_FALSE(errors.empty());
}

// A host that exits with its connection still registered: the registry is destroyed first,
// so the binding is freed without an error record and the logon token is closed with its
// password copy wiped (the host checks the last two itself, after the library's statics).
TEST_F(SecretsTest, HostExitingWithoutDisconnectLeavesNothingBehind) {
  ASSERT_NE(server_->port(), 0u);
  const std::string log = dir_.file("exit_host.log"), pw_file = dir_.file("exit_host.pw");
  const std::string registry = dir_.file("exit_host.reg");
  std::ofstream(pw_file) << password_ << "\n";
  std::ofstream(registry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"
                             "\"RpcVerboseLog\"=dword:00000001\r\n"
                             "\"LogFile\"=\""
                          << log << "\"\r\n";
  const std::string port = std::to_string(server_->port());
  const char* argv[] = {ZELQA_EXIT_HOST, port.c_str(), pw_file.c_str(), nullptr};
  std::string env_registry = "ZELQA_REGISTRY_FILE=" + registry;
  char* envp[] = {env_registry.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), envp), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  const std::string records = logtest::read_file(log);
  EXPECT_NE(records.find("Connecting to RPC"), std::string::npos) << records;
  EXPECT_EQ(records.find("Failed to"), std::string::npos) << records;
}

}  // namespace
}  // namespace zelqa::testing
