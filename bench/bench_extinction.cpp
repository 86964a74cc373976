// EvalRedTerm over a full 10,000-point grid spanning each law's range, per law code. The grid
// stays inside the law: the arithmetic is timed, not the reports.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extinction/red_term.h"
#include "support/limits.h"
#include "support/report.h"

namespace {

struct Range {
  const char* code;
  float lo;
  float hi;
};

constexpr Range kLaws[] = {{"CAL", 1200.0f, 22000.0f}, {"CCJ", 912.0f, 31149.0f},  {"CCM", 1000.0f, 33333.0f},
                           {"GD1", 1195.0f, 21970.0f}, {"GD2", 1195.0f, 21970.0f}, {"GD3", 1195.0f, 21970.0f}};

void BM_EvalRedTerm(benchmark::State& state) {
  const Range& law = kLaws[state.range(0)];
  std::vector<float> grid(veltrane::kMaxPoints);
  const float step = (law.hi - law.lo) / static_cast<float>(veltrane::kMaxPoints - 1);
  for (int i = 0; i < veltrane::kMaxPoints; ++i)
    grid[static_cast<std::size_t>(i)] = law.lo + step * static_cast<float>(i);
  grid.back() = law.hi;
  std::vector<float> red(veltrane::kMaxPoints);
  veltrane::CapturedReport report;  // stays empty and good: every point is in range
  for (auto _ : state) {
    const float qlbdnorm = veltrane::EvalRedTerm(report.context, grid, red, 5500.0f, law.code);
    benchmark::DoNotOptimize(red.data());
    benchmark::DoNotOptimize(qlbdnorm);
  }
  state.SetLabel(law.code);
  state.SetItemsProcessed(state.iterations() * veltrane::kMaxPoints);
}
BENCHMARK(BM_EvalRedTerm)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
