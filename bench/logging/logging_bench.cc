// Records per second of the logger (format one record, hand it to a receiver that discards
// it) against spdlog formatting the same line into a sink that discards it, in the same run.
// Prints the ratio of the two rates; above 1 means the library's logger is faster.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <boost/make_shared.hpp>

#include "logging/log.h"
#include "logging/log_section.h"
#include "logging/receiver/log_file.h"

namespace {

constexpr const char* kText = "Connected to host [server01.example] on port [49152] in 15 ms";
constexpr const char* kTwoLines = "Call failed: the server is unavailable\nRetry 2 of 5 in 10 s";

// Takes each record and drops it, as a receiver whose output costs nothing.
class discard_receiver_t : public logging::receiver::log_file_t {
 public:
  void write(const std::string& record) override { benchmark::DoNotOptimize(record.data()); }
  std::string path() const override { return {}; }
  std::string line_end() const override { return "\n"; }
  uint64_t size() const override { return 0; }
  void take_archive(boost::shared_ptr<util::zip_writer_t>) override {}
};

// Formats each message with the logger's pattern and drops the text: spdlog's null sink skips
// the formatting altogether, which would compare work against no work.
class format_discard_sink_t : public spdlog::sinks::base_sink<std::mutex> {
 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t buf;
    formatter_->format(msg, buf);
    benchmark::DoNotOptimize(buf.data());
  }
  void flush_() override {}
};

logging::log_section_t& channel() {
  static logging::log_section_t channel(
      "rpc", boost::make_shared<logging::log_t>(boost::make_shared<discard_receiver_t>()));
  return channel;
}

std::shared_ptr<spdlog::logger> make_spdlog(spdlog::sink_ptr sink) {
  auto logger = std::make_shared<spdlog::logger>("rpc", std::move(sink));
  // The same line as the library's: stamp with milliseconds, thread id, tag, text.
  logger->set_pattern("[%d.%m.%Y %H:%M:%S.%e] <%6t> rpc      | %v");
  logger->set_level(spdlog::level::trace);
  return logger;
}

void BM_Zelqa_Info(benchmark::State& state) {
  for (auto _ : state) channel().Info(kText);
  state.SetItemsProcessed(state.iterations());
}

void BM_Spdlog_Info(benchmark::State& state) {
  static auto logger = make_spdlog(std::make_shared<format_discard_sink_t>());
  for (auto _ : state) logger->info(kText);
  state.SetItemsProcessed(state.iterations());
}

void BM_Zelqa_Warning_TwoLines(benchmark::State& state) {
  for (auto _ : state) channel().Warning(kTwoLines);
  state.SetItemsProcessed(state.iterations());
}

void BM_Spdlog_Warning_TwoLines(benchmark::State& state) {
  // spdlog writes a multi-line message as one line; the library stamps every line, so this
  // pair measures the library doing more work.
  static auto logger = make_spdlog(std::make_shared<format_discard_sink_t>());
  for (auto _ : state) logger->warn(kTwoLines);
  state.SetItemsProcessed(state.iterations());
}

void BM_SpdlogNullSink_Info(benchmark::State& state) {
  static auto logger = make_spdlog(std::make_shared<spdlog::sinks::null_sink_mt>());
  for (auto _ : state) logger->info(kText);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Zelqa_Info)->ThreadRange(1, 2);
BENCHMARK(BM_Spdlog_Info)->ThreadRange(1, 2);
BENCHMARK(BM_Zelqa_Warning_TwoLines);
BENCHMARK(BM_Spdlog_Warning_TwoLines);
BENCHMARK(BM_SpdlogNullSink_Info);

// Keeps every benchmark's rate so that the ratios can be printed after the table.
class ratio_reporter_t : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
    }
  }
  void print_ratio(const std::string& ours, const std::string& theirs, const char* what) const {
    auto a = rates_.find(ours), b = rates_.find(theirs);
    if (a == rates_.end() || b == rates_.end() || b->second <= 0) return;
    std::printf("%-44s %8.0f k/s vs spdlog %8.0f k/s  ratio %.2f\n", what, a->second / 1e3,
                b->second / 1e3, a->second / b->second);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ratio_reporter_t reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRecords per second, library logger / spdlog (same line, discarded):\n");
  reporter.print_ratio("BM_Zelqa_Info/threads:1", "BM_Spdlog_Info/threads:1", "one line, 1 thread");
  reporter.print_ratio("BM_Zelqa_Info/threads:2", "BM_Spdlog_Info/threads:2",
                       "one line, 2 threads");
  reporter.print_ratio("BM_Zelqa_Warning_TwoLines", "BM_Spdlog_Warning_TwoLines",
                       "two-line warning (library stamps both lines)");
  reporter.print_ratio("BM_Zelqa_Info/threads:1", "BM_SpdlogNullSink_Info",
                       "one line vs spdlog null sink (no formatting)");
  benchmark::Shutdown();
  return 0;
}
