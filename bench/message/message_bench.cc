// Throughput of writing and reading generic messages, against a plain memcpy of the same
// bytes measured in the same run. Prints the ratios after Google Benchmark's own table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "io/memory_stream.h"
#include "io/message/generic_message.h"
#include "io/message/message_data_blob.h"
#include "io/message/message_data_guid.h"
#include "io/message/message_data_numeric.h"
#include "io/message/message_data_string.h"

namespace {

using namespace io::message;

constexpr int kMixedItems = 160;

// Small items of every kind, as a status or request message would carry them.
CGenericMessage MixedMessage() {
  CGenericMessage message;
  for (uint32_t i = 0; i < kMixedItems; ++i) {
    switch (i % 8) {
      case 0:
        message.Set(i, boost::make_shared<CMessageDataInt32>(-static_cast<int32_t>(i)));
        break;
      case 1:
        message.Set(i, boost::make_shared<CMessageDataUInt64>(i * 1000003ull));
        break;
      case 2:
        message.Set(i, boost::make_shared<CMessageDataBoolean>(i & 1));
        break;
      case 3:
        message.Set(i, boost::make_shared<CMessageDataFloat64>(i / 3.0));
        break;
      case 4:
        message.Set(i, boost::make_shared<CMessageDataString>("item-" + std::to_string(i)));
        break;
      case 5:
        message.Set(i, boost::make_shared<CMessageDataWString>(u"wide text value"));
        break;
      case 6:
        message.Set(
            i, boost::make_shared<CMessageDataGuid>(GUID{i, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}));
        break;
      default:
        message.Set(i, boost::make_shared<CMessageDataUInt16>(static_cast<uint16_t>(i)));
        break;
    }
  }
  return message;
}

CGenericMessage BlobMessage(size_t size) {
  CGenericMessage message;
  message.Set(1, boost::make_shared<CMessageDataBlob>(std::vector<uint8_t>(size, 0xA5)));
  return message;
}

std::vector<uint8_t> Bytes(const CGenericMessage& message) {
  io::CMemoryOutputStream out;
  message.Serialize(out);
  return out.Take();
}

// Copies the serialised bytes into a fresh vector, as the output stream does.
void CopyBaseline(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  for (auto _ : state) {
    std::vector<uint8_t> copy(bytes.size());
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_Mixed_Memcpy(benchmark::State& state) {
  CopyBaseline(state, Bytes(MixedMessage()));
  state.SetItemsProcessed(state.iterations() * kMixedItems);
}

void BM_Mixed_Serialize(benchmark::State& state) {
  const CGenericMessage message = MixedMessage();
  const size_t size = Bytes(message).size();
  for (auto _ : state) {
    io::CMemoryOutputStream out;
    message.Serialize(out);
    benchmark::DoNotOptimize(out.Data().data());
  }
  state.SetItemsProcessed(state.iterations() * kMixedItems);
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_Mixed_Deserialize(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Bytes(MixedMessage());
  for (auto _ : state) {
    io::CMemoryInputStream in(bytes);
    auto message = CGenericMessage::Deserialize(in);
    benchmark::DoNotOptimize(message.get());
  }
  state.SetItemsProcessed(state.iterations() * kMixedItems);
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_Blob_Memcpy(benchmark::State& state) {
  CopyBaseline(state, Bytes(BlobMessage(state.range(0))));
}

void BM_Blob_Serialize(benchmark::State& state) {
  const CGenericMessage message = BlobMessage(state.range(0));
  const size_t size = Bytes(message).size();
  for (auto _ : state) {
    io::CMemoryOutputStream out;
    message.Serialize(out);
    benchmark::DoNotOptimize(out.Data().data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_Blob_Deserialize(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Bytes(BlobMessage(state.range(0)));
  for (auto _ : state) {
    io::CMemoryInputStream in(bytes);
    auto message = CGenericMessage::Deserialize(in);
    benchmark::DoNotOptimize(message.get());
  }
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

BENCHMARK(BM_Mixed_Memcpy);
BENCHMARK(BM_Mixed_Serialize);
BENCHMARK(BM_Mixed_Deserialize);
BENCHMARK(BM_Blob_Memcpy)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Blob_Serialize)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Blob_Deserialize)->Arg(64 << 10)->Arg(16 << 20);

// Keeps each run's CPU time per iteration (steadier than wall time on a shared machine)
// so that main can set them against the baselines.
class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nCPU time per message relative to memcpy of the same bytes (1.0 = as fast):\n");
    const char* groups[][2] = {
        {"BM_Mixed_%s", ""}, {"BM_Blob_%s", "/65536"}, {"BM_Blob_%s", "/16777216"}};
    for (const auto& group : groups) {
      const double base = Time(group[0], "Memcpy", group[1]);
      if (base <= 0) continue;
      for (const char* op : {"Serialize", "Deserialize"}) {
        const double t = Time(group[0], op, group[1]);
        if (t <= 0) continue;
        char name[64];
        std::snprintf(name, sizeof(name), group[0], op);
        std::printf("  %-22s%-10s %8.2fx memcpy\n", name, group[1], t / base);
      }
    }
  }

 private:
  double Time(const char* pattern, const char* op, const char* arg) const {
    char name[64];
    std::snprintf(name, sizeof(name), pattern, op);
    const auto it = times_.find(std::string(name) + arg);
    return it == times_.end() ? 0 : it->second;
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
