// Drives the client library as a busy host does: loads it with dlopen, opens M connections
// and runs N threads calling DoRpc on them for K calls (or until a file appears), then
// prints what happened: outcomes by error text, calls per second, the slowest call, resident
// memory and open descriptors after warm-up and at the end. Exits 1 on an unexpected
// outcome, a wrong answer or growth beyond the bounds, 3 when a call hangs.
//
//   load_driver --library LIB --port P --user U --password-file F [--host H] [--service S]
//               [--threads 32] [--connections 16] [--calls 20000] [--until-file PATH]
//               [--allow-retry-failures] [--rss-growth-kb 4096] [--hang-ms 20000]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "call_outcomes.h"
#include "platform/utf_convert.h"
#include "process_usage.h"
#include "tools/client_library.h"

namespace zelqa::load {
namespace {

using Clock = std::chrono::steady_clock;

struct load_args_t {
  std::string library, host = "127.0.0.1", user, password_file, service = "zelqa", until_file;
  uint32_t port = 0;
  int threads = 32, connections = 16;
  uint64_t calls = 20000;
  bool allow_retry_failures = false;
  size_t rss_growth_kb = 4096;
  int64_t hang_ms = 20000;
};

load_args_t ParseArgs(int argc, char** argv) {
  std::map<std::string, std::string> values;
  load_args_t args;
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    if (key == "--allow-retry-failures") {
      args.allow_retry_failures = true;
    } else if (key.starts_with("--") && i + 1 < argc) {
      values[key.substr(2)] = argv[++i];
    } else {
      throw std::invalid_argument("unexpected argument " + key);
    }
  }
  auto take = [&](const char* name, auto& field) {
    using Field = std::decay_t<decltype(field)>;
    auto node = values.extract(name);
    if (node.empty()) return;
    if constexpr (std::is_same_v<Field, std::string>)
      field = node.mapped();
    else
      field = static_cast<Field>(std::stoll(node.mapped()));
  };
  take("library", args.library);
  take("host", args.host);
  take("port", args.port);
  take("user", args.user);
  take("password-file", args.password_file);
  take("service", args.service);
  take("threads", args.threads);
  take("connections", args.connections);
  take("calls", args.calls);
  take("until-file", args.until_file);
  take("rss-growth-kb", args.rss_growth_kb);
  take("hang-ms", args.hang_ms);
  if (!values.empty()) throw std::invalid_argument("unknown option --" + values.begin()->first);
  if (args.library.empty() || args.port == 0 || args.threads < 1 || args.connections < 1) {
    throw std::invalid_argument("--library and --port are required; counts must be positive");
  }
  return args;
}

std::u16string ReadPassword(const std::string& path) {
  std::string line;
  if (!path.empty()) std::getline(std::ifstream(path), line);
  return platform::Utf8ToUtf16(line);
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

class load_run_t {
 public:
  load_run_t(const load_args_t& args, tools::ClientLibrary& library)
      : args_(args), library_(library), started_(args.threads) {}

  int Run() {
    const process_usage_t before = SampleUsage();
    const std::u16string password = ReadPassword(args_.password_file);
    auto connect = [&] {
      ids_.push_back(library_.Connect(platform::Utf8ToUtf16(args_.host), args_.port,
                                      platform::Utf8ToUtf16(args_.user), password,
                                      platform::Utf8ToUtf16(args_.service)));
    };
    for (int c = 0; c < args_.connections; ++c) connect();
    // Warm-up: every thread has called a few times and the heap has found its size.
    const uint64_t warm_up = std::min<uint64_t>(
        std::max<uint64_t>(args_.calls / 10, args_.threads * 20), args_.calls / 2);

    std::jthread watchdog([this](std::stop_token stop) { Watch(stop); });
    const auto start = Clock::now();
    {
      std::vector<std::jthread> workers;
      for (int t = 0; t < args_.threads; ++t) {
        workers.emplace_back([this, t, warm_up] { Work(t, warm_up); });
      }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    watchdog.request_stop();
    const process_usage_t at_end = SampleUsage();

    // Every connection, and a fresh one, must work once the load is over (after the last
    // server restart, when there were restarts).
    bool final_ok = true;
    connect();
    for (const auto& id : ids_) {
      try {
        if (library_.Call(id, u"final ", u"check") != u"final check") final_ok = false;
      } catch (const std::exception& e) {
        std::printf("final call failed: %s\n", e.what());
        final_ok = false;
      }
    }
    for (const auto& id : ids_) library_.Disconnect(id);
    const process_usage_t after = SettledUsage(before);

    const uint64_t total = outcomes_.total();
    std::printf("calls: %llu in %.2f s (%.0f calls/s), %d threads over %d connections\n",
                static_cast<unsigned long long>(total), seconds, total / seconds, args_.threads,
                args_.connections);
    std::printf("outcomes:\n%s", outcomes_.Report(args_.allow_retry_failures).c_str());
    std::printf("slowest call: %lld ms (hang bound %lld ms)\n",
                static_cast<long long>(slowest_ms_.load()), static_cast<long long>(args_.hang_ms));
    std::printf("before connecting:   %s\n", Describe(before).c_str());
    std::printf("after warm-up:       %s (after %llu calls)\n", Describe(warm_).c_str(),
                static_cast<unsigned long long>(warm_up));
    std::printf("at the end:          %s\n", Describe(at_end).c_str());
    std::printf("after disconnecting: %s\n", Describe(after).c_str());

    int rc = 0;
    if (!outcomes_.unexpected(args_.allow_retry_failures).empty()) rc = Fail("unexpected outcomes");
    if (!final_ok) rc = Fail("a call after the load failed");
    if (warm_.rss_kb == 0) {
      rc = Fail("the load ended before the warm-up was over");
    } else if (at_end.rss_kb > warm_.rss_kb + args_.rss_growth_kb) {
      rc = Fail("resident memory grew by " + std::to_string(at_end.rss_kb - warm_.rss_kb) +
                " KB after warm-up (bound " + std::to_string(args_.rss_growth_kb) + " KB)");
    }
    // Each connection holds at most one socket per thread calling on it at once.
    if (!args_.allow_retry_failures && at_end.sockets > warm_.sockets + 2) {
      rc = Fail("sockets grew after warm-up");
    }
    if (after.sockets != 0 || after.fds > before.fds) {
      rc = Fail("descriptors left open after every connection was closed");
    }
    if (rc == 0) std::printf("PASS\n");
    return rc;
  }

 private:
  static int Fail(const std::string& why) {
    std::printf("FAIL: %s\n", why.c_str());
    return 1;
  }

  bool Done(uint64_t issued) const {
    if (!args_.until_file.empty()) return std::filesystem::exists(args_.until_file);
    return issued >= args_.calls;
  }

  void Work(int t, uint64_t warm_up) {
    const std::u16string& id = ids_[t % ids_.size()];
    const std::u16string r1 = u"thread " + platform::Utf8ToUtf16(std::to_string(t)) + u" ";
    for (;;) {
      const uint64_t n = issued_.fetch_add(1);
      if (Done(n)) break;
      const std::u16string r2 = platform::Utf8ToUtf16(std::to_string(n));
      const int64_t begin = NowMs();
      started_[t] = begin;
      std::string outcome = "ok";
      try {
        if (library_.Call(id, r1, r2) != r1 + r2) outcome = "wrong answer";
      } catch (const std::exception& e) {
        outcome = OutcomeOf(e.what());
      }
      started_[t] = 0;
      const int64_t took = NowMs() - begin;
      for (int64_t s = slowest_ms_.load();
           took > s && !slowest_ms_.compare_exchange_weak(s, took);) {
      }
      outcomes_.Add(outcome);
      if (n == warm_up) warm_ = SampleUsage();
    }
  }

  // A call that outlives the bound means something waits forever: report it and stop the
  // process rather than hang the run.
  void Watch(std::stop_token stop) {
    while (!stop.stop_requested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const int64_t now = NowMs();
      for (size_t t = 0; t < started_.size(); ++t) {
        const int64_t s = started_[t].load();
        if (s != 0 && now - s > args_.hang_ms) {
          std::printf("FAIL: the call on thread %zu has been running for %lld ms\n%s", t,
                      static_cast<long long>(now - s),
                      outcomes_.Report(args_.allow_retry_failures).c_str());
          std::fflush(stdout);
          std::_Exit(3);
        }
      }
    }
  }

  // Closed connections give their sockets back at once (they do not linger), but allow the
  // operating system a moment.
  static process_usage_t SettledUsage(const process_usage_t& before) {
    process_usage_t now = SampleUsage();
    for (int i = 0; i < 40 && (now.sockets != 0 || now.fds > before.fds); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      now = SampleUsage();
    }
    return now;
  }

  const load_args_t& args_;
  tools::ClientLibrary& library_;
  std::vector<std::u16string> ids_;
  std::vector<std::atomic<int64_t>> started_;
  std::atomic<uint64_t> issued_{0};
  std::atomic<int64_t> slowest_ms_{0};
  call_outcomes_t outcomes_;
  process_usage_t warm_;
};

}  // namespace
}  // namespace zelqa::load

int main(int argc, char** argv) {
  using namespace zelqa::load;
  load_args_t args;
  try {
    args = ParseArgs(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "load_driver: %s\n", e.what());
    return 2;
  }
  try {
    zelqa::tools::ClientLibrary library(args.library);
    return load_run_t(args, library).Run();
  } catch (const std::exception& e) {
    std::printf("FAIL: %s\n", e.what());
    return 1;
  }
}
