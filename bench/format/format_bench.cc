// The message formatter against fmt::format on the same three-argument message; prints the
// CPU-time ratio (formatter / fmt) measured in this run; CPU time, because other work on a
// shared machine inflates wall time.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdio>
#include <map>
#include <string>

#include "exc/format_message.h"

namespace {

const std::string kHost = "server01.example.org";
const uint32_t kPort = 49152;
const std::string kUser = "EXAMPLE\\operator";

void BM_FormatMessageNumbered(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        exc::format_message("Connecting to [%1] on port [%2] as [%3].", kHost, kPort, kUser));
  }
}
BENCHMARK(BM_FormatMessageNumbered);

void BM_FormatMessageAnonymous(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        exc::format_message("Connecting to [{}] on port [{}] as [{}].", kHost, kPort, kUser));
  }
}
BENCHMARK(BM_FormatMessageAnonymous);

void BM_FmtFormat(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        fmt::format("Connecting to [{}] on port [{}] as [{}].", kHost, kPort, kUser));
  }
}
BENCHMARK(BM_FmtFormat);

// Keeps the console output and remembers the time per iteration of every run.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        ns_per_op_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double get(const std::string& name) const {
    auto it = ns_per_op_.find(name);
    return it == ns_per_op_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> ns_per_op_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double baseline = reporter.get("BM_FmtFormat");
  if (baseline <= 0) return 0;  // filtered out
  for (const char* name : {"BM_FormatMessageNumbered", "BM_FormatMessageAnonymous"}) {
    const double t = reporter.get(name);
    if (t > 0) std::printf("ratio %s / fmt::format = %.2f\n", name, t / baseline);
  }
  return 0;
}
