// Throughput of the list-directed reader on a synthesis-result-like file: 10,000 records of
// four reals ("  4000.00000  0.123456E+01  0.98765  1.0"), read one statement per record, by
// ListRead and by the plain-record fast path (per_number: CPU time per value read).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "textio/format.h"
#include "textio/list_input.h"

namespace {

std::string spectrum_file(int rows) {
  std::string text;
  char line[96];
  for (int i = 0; i < rows; ++i) {
    const double lambda = 3000.0 + 0.5 * i;
    std::snprintf(line, sizeof line, "  %.5f  %.6E  %.5f  %.1f\n", lambda,
                  1.0 + 0.000123 * i, 0.98765 - 0.00001 * (i % 997), 1.0 + (i % 3));
    text += line;
  }
  return text;
}

void BM_ListDirectedSpectrum(benchmark::State& state) {
  const std::string text = spectrum_file(10000);
  float sum = 0.0f;
  for (auto _ : state) {
    auto file = veltrane::textio::RecordFile::from_string(text);
    for (int i = 0; i < 10000; ++i) {
      veltrane::textio::ListRead r(file);
      float v[4];
      for (float& x : v) r.real(x);
      sum += v[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ListDirectedSpectrum)->Unit(benchmark::kMicrosecond);

constexpr int kRows = 10000;

// Seconds of CPU time per value read (shown with an SI prefix: "20n" is 20 ns).
void per_number(benchmark::State& state) {
  state.counters["per_number"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 4 * kRows,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SpectrumRecordListRead(benchmark::State& state) {
  const std::string text = spectrum_file(kRows);
  float sum = 0.0f;
  for (auto _ : state) {
    auto file = veltrane::textio::RecordFile::from_string(text);
    for (int i = 0; i < kRows; ++i) {
      veltrane::textio::ListRead r(file);
      float v[4];
      for (float& x : v) r.real(x);
      sum += v[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  per_number(state);
}
BENCHMARK(BM_SpectrumRecordListRead)->Unit(benchmark::kMicrosecond);

void BM_SpectrumRecordPlainReals(benchmark::State& state) {
  const std::string text = spectrum_file(kRows);
  float sum = 0.0f;
  for (auto _ : state) {
    auto file = veltrane::textio::RecordFile::from_string(text);
    for (int i = 0; i < kRows; ++i) {
      float v[4];
      if (!veltrane::textio::read_plain_reals(file, v)) {
        veltrane::textio::ListRead r(file);
        for (float& x : v) r.real(x);
      }
      sum += v[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  per_number(state);
}
BENCHMARK(BM_SpectrumRecordPlainReals)->Unit(benchmark::kMicrosecond);

void BM_ListRealFormatting(benchmark::State& state) {
  float x = 0.123456f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(veltrane::textio::list_real(x));
    x *= 1.0001f;
  }
}
BENCHMARK(BM_ListRealFormatting);

}  // namespace

BENCHMARK_MAIN();
