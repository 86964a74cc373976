// The photometry of one model: ReadFilters on 30 filters of 200 to 2,000 samples with
// 10,000-sample standard spectra (files generated in a temporary directory), and
// EvalFilters of a 10,000- and a 20,000-point spectrum through those filters. The
// EvalTFluxes pair compares the bisection path with the fresh search per sample.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "support/limits.h"
#include "support/report.h"

namespace {

namespace fs = std::filesystem;
using veltrane::CapturedReport;
using veltrane::Rule;

constexpr int kFilters = 30;

std::string num(float x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", double(x));
  return buf;
}

float hot_star(float l) {
  const float x = 1.4387769e8f / (l * 9600.0f);
  return 1e10f / (l * l * l * l * l * (std::exp(x) - 1.0f));
}

// Filter f: centre moving across 3,000–20,000 Å, 200 + 62·f samples (200 … 1,998).
std::vector<float> filter_lambda(int f) {
  const int n = 200 + 62 * f;
  const float centre = 3000.0f + 17000.0f * float(f) / float(kFilters - 1);
  const float width = 0.1f * centre;
  std::vector<float> l(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) l[std::size_t(k)] = centre - width + 2.0f * width * float(k) / float(n - 1);
  return l;
}

float bell(float u) {
  const float s = std::sin(3.14159265f * u);
  return s * s;
}

// The filter directory, written once for the whole benchmark run.
struct Directory {
  std::string path;
  Directory() {
    std::string templ = (fs::temp_directory_path() / "veltrane-bench-XXXXXX").string();
    path = std::string(::mkdtemp(templ.data())) + "/";
    for (const char* name : {"VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat"}) {
      std::ofstream out(path + name);
      out << "star " << veltrane::kMaxPoints << "\n";
      for (int k = 0; k < veltrane::kMaxPoints; ++k) {
        const float l = 900.0f + 2.5f * float(k);
        out << num(l) << " " << num(hot_star(l)) << "\n";
      }
    }
    std::ofstream list(path + "ListFilters.txt");
    list << kFilters << "\n";
    for (int f = 0; f < kFilters; ++f) {
      const std::string name = "F" + std::to_string(f) + ".dat";
      list << name << "\n";
      std::ofstream out(path + name);
      for (int r = 0; r < 15; ++r) out << "# header\n";
      const auto l = filter_lambda(f);
      for (std::size_t k = 0; k < l.size(); ++k) {
        out << num(l[k]) << " " << num(bell(float(k) / float(l.size() - 1))) << "\n";
      }
    }
  }
  ~Directory() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

Directory& directory() {
  static Directory d;
  return d;
}

const veltrane::FilterSet& loaded_set() {
  static const veltrane::FilterLoad load = [] {
    CapturedReport report;
    return veltrane::ReadFilters(report.context, directory().path, Rule::T);
  }();
  return *load.set;
}

struct Spectrum {
  std::vector<float> l, f;
  explicit Spectrum(int n) {
    for (int k = 0; k < n; ++k) {
      l.push_back(1000.0f + 24000.0f * float(k) / float(n - 1));
      f.push_back(hot_star(l.back()));
    }
  }
};

void BM_ReadFilters(benchmark::State& state) {
  CapturedReport report;
  const std::string& dir = directory().path;
  for (auto _ : state) {
    const veltrane::FilterLoad load = veltrane::ReadFilters(report.context, dir, Rule::T);
    benchmark::DoNotOptimize(load.set.get());
  }
  state.SetItemsProcessed(state.iterations() * kFilters);
}
BENCHMARK(BM_ReadFilters)->Unit(benchmark::kMillisecond);

void BM_EvalFilters(benchmark::State& state) {
  const veltrane::FilterSet& set = loaded_set();
  const Spectrum s(int(state.range(0)));
  auto table = std::make_unique<veltrane::MagnitudeTable>();
  veltrane::FilterResults results;
  CapturedReport report;
  for (auto _ : state) {
    veltrane::EvalFilters(report.context, s.l, s.f, set, results, table->plane(0), Rule::T);
    benchmark::DoNotOptimize(table->m.data());
  }
  state.SetItemsProcessed(state.iterations() * kFilters);
  state.SetLabel("literal");
}
BENCHMARK(BM_EvalFilters)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The same through the filters' support only (EvalTFluxesOnBand), per model: a spectrum on a
// new grid (the observation), then on a grid whose bands are known (a model spectrum).
void BM_EvalFiltersOnBands(benchmark::State& state) {
  const veltrane::FilterSet& set = loaded_set();
  const Spectrum s(int(state.range(0)));
  const veltrane::Spectrum spectrum(s.l, s.f);
  std::vector<veltrane::Band> bands(std::size_t(set.Nfilters));
  for (std::size_t i = 0; i < bands.size(); ++i)
    if (set.increasing[i]) bands[i] = veltrane::band_on_grid(s.l, set.lambda(int(i)), set.transmission(int(i)));
  const bool known = state.range(1) == 1;
  auto table = std::make_unique<veltrane::MagnitudeTable>();
  auto work = std::make_unique<veltrane::FilterWork>();
  veltrane::FilterResults results;
  CapturedReport report;
  for (auto _ : state) {
    veltrane::EvalFilters(report.context, spectrum, set, results, table->plane(0), Rule::T, *work,
                          known ? std::span<const veltrane::Band>(bands) : std::span<const veltrane::Band>());
    benchmark::DoNotOptimize(table->m.data());
  }
  state.SetItemsProcessed(state.iterations() * kFilters);
  state.SetLabel(known ? "bands known" : "new grid");
}
BENCHMARK(BM_EvalFiltersOnBands)->Args({10000, 0})->Args({10000, 1})->Args({20000, 0})->Unit(benchmark::kMicrosecond);

// All 30 filters through EvalTFluxes alone, fast (0) or literal (1) transmission.
void BM_EvalTFluxes(benchmark::State& state) {
  const veltrane::FilterSet& set = loaded_set();
  const Spectrum s(10000);
  const bool literal = state.range(0) == 1;
  CapturedReport report;
  for (auto _ : state) {
    for (int f = 0; f < kFilters; ++f) {
      const auto r = literal ? veltrane::EvalTFluxesLiteral(report.context, s.l, s.f, set.lambda(f),
                                                            set.transmission(f), set.T_l_Area[std::size_t(f)], Rule::T)
                             : veltrane::EvalTFluxes(report.context, s.l, s.f, set.lambda(f), set.transmission(f),
                                                     set.T_l_Area[std::size_t(f)], Rule::T);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetLabel(literal ? "fresh search per sample" : "bisection");
}
BENCHMARK(BM_EvalTFluxes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Where the time goes: the transmission sampling alone, for all 30 filters.
void BM_TransmissionOnly(benchmark::State& state) {
  const veltrane::FilterSet& set = loaded_set();
  const Spectrum s(10000);
  const bool literal = state.range(0) == 1;
  std::vector<float> ts(s.l.size());
  for (auto _ : state) {
    for (int f = 0; f < kFilters; ++f) {
      veltrane::detail::transmission_on_spectrum(s.l, set.lambda(f), set.transmission(f), ts, literal);
      benchmark::DoNotOptimize(ts.data());
    }
  }
  state.SetLabel(literal ? "fresh search per sample" : "bisection");
}
BENCHMARK(BM_TransmissionOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
