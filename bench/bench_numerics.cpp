// Numerical kernels: one rule-T integration over 10,000 samples (target: well under
// 100 µs), and a sweep of 10,000 increasing interpolations on a 10,000-point table, which
// the saved bracket keeps at a constant number of comparisons per call.
#include <benchmark/benchmark.h>

#include <vector>

#include "numerics/integration.h"
#include "numerics/interpolation.h"

namespace {

using veltrane::CapturedReport;

struct Table {
  std::vector<float> x;
  std::vector<float> y;
  explicit Table(int n) {
    for (int k = 0; k < n; ++k) {
      const float l = 1000.0f + 0.7f * static_cast<float>(k);
      x.push_back(l);
      y.push_back(1.0e-16f * (1.0f + 0.5f * static_cast<float>(k % 37)));
    }
  }
};

void BM_IntegralALL_RuleT(benchmark::State& state) {
  const Table t(static_cast<int>(state.range(0)));
  CapturedReport report;
  // Limits between samples, so both edge pieces are interpolated.
  const float li = t.x[10] + 0.3f;
  const float lf = t.x[t.x.size() - 10] - 0.2f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(veltrane::IntegralALL(report.context, t.x, t.y, li, lf, veltrane::Rule::T));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IntegralALL_RuleT)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// All six rules for comparison (M and I interpolate once per interval).
void BM_IntegralALL_Mode(benchmark::State& state) {
  const Table t(10000);
  CapturedReport report;
  const float li = t.x[10] + 0.3f;
  const float lf = t.x[t.x.size() - 10] - 0.2f;
  const veltrane::Rule rule = veltrane::rule_of(static_cast<int>(state.range(0)));
  for (auto _ : state) { benchmark::DoNotOptimize(veltrane::IntegralALL(report.context, t.x, t.y, li, lf, rule)); }
}
BENCHMARK(BM_IntegralALL_Mode)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

// One sweep = 10,000 increasing abscissae between the table points, reset on the first
// call only, as the resampling callers do. Reported per call.
void BM_LINEAR1_Deg_Sweep(benchmark::State& state) {
  const Table t(static_cast<int>(state.range(0)));
  std::vector<float> xs;
  for (std::size_t k = 0; k + 1 < t.x.size(); ++k) xs.push_back(t.x[k] + 0.25f);
  xs.push_back(t.x.back());
  for (auto _ : state) {
    int ilastval = -999;
    float sum = 0.0f;
    for (float q : xs) sum += veltrane::LINEAR1_Deg(q, t.x, t.y, ilastval);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(xs.size()));
  state.counters["ns_per_call"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(xs.size()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// Doubling the table must not change the cost per call.
BENCHMARK(BM_LINEAR1_Deg_Sweep)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
