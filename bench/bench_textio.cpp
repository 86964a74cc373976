// Throughput of the list-directed reader on a synthesis-result-like file: 10,000 records of
// four reals ("  4000.00000  0.123456E+01  0.98765  1.0"), read one statement per record, by
// ListRead and by the plain-record fast path; and of the writers on a spectrum table (6,900
// rows of nine values, 62,100 numbers) and on magnitude-table fields, the literal (snprintf)
// writers beside the fast ones; and of the observed-spectrum block of a survey synthesis
// result. The "per_number" counter is the CPU time per value.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "textio/float_digits.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace {

// With --benchmark_repetitions=N the aggregates include "_min", the least disturbed of the N
// runs on a machine shared with other work.
double least(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

std::string spectrum_file(int rows) {
  std::string text;
  char line[96];
  for (int i = 0; i < rows; ++i) {
    const double lambda = 3000.0 + 0.5 * i;
    std::snprintf(line, sizeof line, "  %.5f  %.6E  %.5f  %.1f\n", lambda, 1.0 + 0.000123 * i,
                  0.98765 - 0.00001 * (i % 997), 1.0 + (i % 3));
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
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ListDirectedSpectrum)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

constexpr int kReadRows = 10000;

// Seconds of CPU time per value read (shown with an SI prefix: "20n" is 20 ns).
void per_read_number(benchmark::State& state) {
  state.counters["per_number"] = benchmark::Counter(static_cast<double>(state.iterations()) * 4 * kReadRows,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SpectrumRecordListRead(benchmark::State& state) {
  const std::string text = spectrum_file(kReadRows);
  float sum = 0.0f;
  for (auto _ : state) {
    auto file = veltrane::textio::RecordFile::from_string(text);
    for (int i = 0; i < kReadRows; ++i) {
      veltrane::textio::ListRead r(file);
      float v[4];
      for (float& x : v) r.real(x);
      sum += v[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  per_read_number(state);
}
BENCHMARK(BM_SpectrumRecordListRead)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

void BM_SpectrumRecordPlainReals(benchmark::State& state) {
  const std::string text = spectrum_file(kReadRows);
  float sum = 0.0f;
  for (auto _ : state) {
    auto file = veltrane::textio::RecordFile::from_string(text);
    for (int i = 0; i < kReadRows; ++i) {
      float v[4];
      if (!veltrane::textio::read_plain_reals(file, v)) {
        veltrane::textio::ListRead r(file);
        for (float& x : v) r.real(x);
      }
      sum += v[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  per_read_number(state);
}
BENCHMARK(BM_SpectrumRecordPlainReals)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

// The observed-spectrum block of a survey synthesis result (bench/survey/make_survey.py):
// 5,401 records "%9.2f %12.5f %12.5f %10.3f", about 250 KB, read as Read_Out_KW reads it.
void BM_ResultSpectrumBlock(benchmark::State& state) {
  std::string text;
  char line[96];
  for (int k = 0; k < 5401; ++k) {
    std::snprintf(line, sizeof line, "%9.2f %12.5f %12.5f %10.3f\n", 3400.0 + k, 0.5 + 0.2 * std::sin(k * 0.37),
                  0.6 + 0.05 * std::cos(k * 0.11), 70.0 + 0.001 * (k % 9973));
    text += line;
  }
  float sum = 0.0f;
  for (auto _ : state) {
    auto file = veltrane::textio::RecordFile::from_string(text);
    for (int i = 0; i < 5401; ++i) {
      float v[4];
      if (!veltrane::textio::read_plain_reals(file, v)) {
        veltrane::textio::ListRead r(file);
        for (float& x : v) r.real(x);
      }
      sum += v[1];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
  state.counters["per_number"] = benchmark::Counter(static_cast<double>(state.iterations()) * 4 * 5401,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ResultSpectrumBlock)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

using veltrane::textio::detail::fmt_e_literal;
using veltrane::textio::detail::fmt_f_literal;
using veltrane::textio::detail::list_real_literal;

constexpr int kRows = 6900;

float log_uniform(std::mt19937& rng, double lo, double hi) {
  std::uniform_real_distribution<double> u(std::log(lo), std::log(hi));
  return static_cast<float>(std::exp(u(rng)));
}

// Rows like a ".SPC.out" table: wavelengths, fluxes of 1e-25 to 1e-10, observed columns that
// are 0.0 beyond the observed points, a red term near 1.
std::vector<float> spectrum_values() {
  std::mt19937 rng(7);
  std::vector<float> v;
  for (int i = 0; i < kRows; ++i) {
    const float lambda = 100.0f + 14.5f * static_cast<float>(i);
    const bool observed = i < kRows / 2;
    for (float x : {lambda, log_uniform(rng, 1e-25, 1e-10), observed ? lambda : 0.0f,
                    observed ? log_uniform(rng, 1e-25, 1e-10) : 0.0f, lambda, log_uniform(rng, 1e-25, 1e-10),
                    log_uniform(rng, 1e-25, 1e-10), log_uniform(rng, 1e-25, 1e-10), log_uniform(rng, 0.5, 2.0)})
      v.push_back(x);
  }
  return v;
}

void per_number(benchmark::State& state, std::size_t numbers) {
  state.counters["per_number"] = benchmark::Counter(
      static_cast<double>(numbers), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SpectrumTableLiteral(benchmark::State& state) {
  const std::vector<float> v = spectrum_values();
  std::string out;
  for (auto _ : state) {
    out.clear();
    for (std::size_t r = 0; r < v.size(); r += 9) {
      for (std::size_t j = r; j < r + 9; ++j) out.append(" ").append(list_real_literal(v[j]));
      out.push_back('\n');
    }
    benchmark::DoNotOptimize(out.data());
  }
  per_number(state, v.size());
}
BENCHMARK(BM_SpectrumTableLiteral)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

void BM_SpectrumTableFast(benchmark::State& state) {
  const std::vector<float> v = spectrum_values();
  std::string out;
  for (auto _ : state) {
    out.clear();
    for (std::size_t r = 0; r < v.size(); r += 9) {
      veltrane::textio::append_list_record(out, std::span<const float>(v).subspan(r, 9));
      out.push_back('\n');
    }
    benchmark::DoNotOptimize(out.data());
  }
  per_number(state, v.size());
}
BENCHMARK(BM_SpectrumTableFast)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

// The digit engine alone: the 9-digit rounding of the values of the spectrum table.
void BM_RoundSignificant(benchmark::State& state) {
  const std::vector<float> v = spectrum_values();
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (float x : v)
      if (x != 0.0f) sum += veltrane::textio::detail::round_significant(x, 9).digits;
    benchmark::DoNotOptimize(sum);
  }
  per_number(state, v.size());
}
BENCHMARK(BM_RoundSignificant)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

// The same table written in place: sized once, then each record and its LF written by
// put_list_record (what the spectrum table would gain by switching from append_list_record).
void BM_SpectrumTableInPlace(benchmark::State& state) {
  const std::vector<float> v = spectrum_values();
  std::string out;
  for (auto _ : state) {
    out.clear();
    out.resize(v.size() / 9 * (17 * 9 + 1));
    char* p = out.data();
    for (std::size_t r = 0; r < v.size(); r += 9) {
      p = veltrane::textio::put_list_record(p, std::span<const float>(v).subspan(r, 9));
      *p++ = '\n';
    }
    benchmark::DoNotOptimize(out.data());
  }
  per_number(state, v.size());
}
BENCHMARK(BM_SpectrumTableInPlace)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

// The whole table at once (put_list_table: four values at a time where the CPU has AVX2),
// into a buffer sized once and reused, as the spectrum table is written; state.range(0) = 0:
// one value at a time (detail::put_list_table_one_by_one).
void BM_SpectrumTableWhole(benchmark::State& state) {
  const std::vector<float> v = spectrum_values();
  std::string out(v.size() / 9 * (17 * 9 + 1), ' ');
  for (auto _ : state) {
    if (state.range(0) == 1) veltrane::textio::put_list_table(out.data(), v, 9);
    else veltrane::textio::detail::put_list_table_one_by_one(out.data(), v, 9);
    benchmark::DoNotOptimize(out.data());
  }
  per_number(state, v.size());
}
BENCHMARK(BM_SpectrumTableWhole)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

// Magnitudes and log masses (-50 to 50) and effective wavelengths, as in a ".MAG.out" row.
std::vector<float> magnitude_values() {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> mag(-50.0f, 50.0f);
  std::vector<float> v;
  for (int i = 0; i < 1000; ++i) v.push_back(i % 4 == 0 ? log_uniform(rng, 1000.0, 25000.0) : mag(rng));
  return v;
}

template <bool kFast, char kKind>
void BM_Field(benchmark::State& state) {
  const std::vector<float> v = magnitude_values();
  std::string out;
  for (auto _ : state) {
    out.clear();
    for (float x : v) {
      if constexpr (kFast) {
        if constexpr (kKind == 'e') veltrane::textio::append_e(out, x, 15, 5);
        else veltrane::textio::append_f(out, x, 15, 5);
      } else {
        out.append(kKind == 'e' ? fmt_e_literal(x, 15, 5) : fmt_f_literal(x, 15, 5));
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  per_number(state, v.size());
}
BENCHMARK(BM_Field<false, 'e'>)
    ->Name("BM_E15_5Literal")
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", least);
BENCHMARK(BM_Field<true, 'e'>)->Name("BM_E15_5Fast")->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);
BENCHMARK(BM_Field<false, 'f'>)
    ->Name("BM_F15_5Literal")
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", least);
BENCHMARK(BM_Field<true, 'f'>)->Name("BM_F15_5Fast")->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

}  // namespace

BENCHMARK_MAIN();
