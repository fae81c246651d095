// The platform shims against what glibc offers for the same job, measured in this run:
// code page conversions against iconv(3) on the same mixed-script text, and system message
// lookup (FormatMessageW with an allocated buffer) against strerror_r. Prints the CPU-time
// ratios shim / baseline; CPU time, because other work on a shared machine inflates wall time.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/local_memory.h"
#include "platform/system_text.h"

namespace {

// About 4 KiB of text mixing ASCII, Latin, Cyrillic, CJK and an emoji, as log lines do.
std::string MixedText() {
  std::string text;
  while (text.size() < 4096) {
    text +=
        "Connecting to server01.example.org:49152 as EXAMPLE\\op\xC3\xA9rateur "
        "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE6\x97\xA5\xE6\x9C\xAC "
        "\xF0\x9F\x98\x80\n";
  }
  return text;
}

const std::string kUtf8 = MixedText();

std::u16string Wide(const std::string& utf8) {
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

const std::u16string kUtf16 = Wide(kUtf8);

// One iconv conversion of a whole buffer into a sized output, as a caller would use it.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() { iconv_close(cd_); }
  size_t Convert(const void* in, size_t in_bytes, std::vector<char>& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(static_cast<const char*>(in));
    char* dst = out.data();
    size_t dst_left = out.size();
    iconv(cd_, &src, &in_bytes, &dst, &dst_left);
    return out.size() - dst_left;
  }

 private:
  iconv_t cd_;
};

void BM_MultiByteToWideChar(benchmark::State& state) {
  std::u16string out;
  for (auto _ : state) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, kUtf8.data(), static_cast<int>(kUtf8.size()), nullptr, 0);
    out.resize(static_cast<size_t>(n));
    benchmark::DoNotOptimize(MultiByteToWideChar(CP_UTF8, 0, kUtf8.data(),
                                                 static_cast<int>(kUtf8.size()), out.data(), n));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kUtf8.size()));
}
BENCHMARK(BM_MultiByteToWideChar);

void BM_IconvUtf8ToUtf16(benchmark::State& state) {
  Iconv cd("UTF-16LE", "UTF-8");
  std::vector<char> out(kUtf8.size() * 2);
  for (auto _ : state) benchmark::DoNotOptimize(cd.Convert(kUtf8.data(), kUtf8.size(), out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kUtf8.size()));
}
BENCHMARK(BM_IconvUtf8ToUtf16);

void BM_WideCharToMultiByte(benchmark::State& state) {
  std::string out;
  const int in_len = static_cast<int>(kUtf16.size());
  for (auto _ : state) {
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, kUtf16.data(), in_len, nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(n));
    benchmark::DoNotOptimize(
        WideCharToMultiByte(CP_UTF8, 0, kUtf16.data(), in_len, out.data(), n, nullptr, nullptr));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kUtf8.size()));
}
BENCHMARK(BM_WideCharToMultiByte);

void BM_IconvUtf16ToUtf8(benchmark::State& state) {
  Iconv cd("UTF-8", "UTF-16LE");
  std::vector<char> out(kUtf8.size() + 16);
  for (auto _ : state) {
    benchmark::DoNotOptimize(cd.Convert(kUtf16.data(), kUtf16.size() * 2, out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kUtf8.size()));
}
BENCHMARK(BM_IconvUtf16ToUtf8);

void BM_FormatMessageW(benchmark::State& state) {
  constexpr DWORD kFlags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  for (auto _ : state) {
    WCHAR* text = nullptr;
    benchmark::DoNotOptimize(
        FormatMessageW(kFlags, nullptr, 1722, 1033, reinterpret_cast<LPWSTR>(&text), 0, nullptr));
    LocalFree(text);
  }
}
BENCHMARK(BM_FormatMessageW);

void BM_Strerror(benchmark::State& state) {
  char buffer[256];
  for (auto _ : state) {
    // The GNU strerror_r returns the text, which may or may not be in the buffer: copy it.
    const char* text = strerror_r(ECONNREFUSED, buffer, sizeof buffer);
    std::string copy(text);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_Strerror);

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
  double Get(const std::string& name) const {
    const auto it = ns_per_op_.find(name);
    return it == ns_per_op_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> ns_per_op_;
};

void PrintRatio(const RecordingReporter& r, const char* what, const char* shim,
                const char* baseline) {
  const double base = r.Get(baseline);
  if (base <= 0) return;
  std::printf("%-40s %6.2fx  (%s / %s)\n", what, r.Get(shim) / base, shim, baseline);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nCPU time ratios, shim / baseline (below 1: the shim is faster)\n");
  PrintRatio(reporter, "UTF-8 -> UTF-16, size query + convert", "BM_MultiByteToWideChar",
             "BM_IconvUtf8ToUtf16");
  PrintRatio(reporter, "UTF-16 -> UTF-8, size query + convert", "BM_WideCharToMultiByte",
             "BM_IconvUtf16ToUtf8");
  PrintRatio(reporter, "system message text", "BM_FormatMessageW", "BM_Strerror");
  benchmark::Shutdown();
  return 0;
}
