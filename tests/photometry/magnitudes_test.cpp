// EvalFilters: the seven systems on filters set up by hand, the cases that give no magnitude,
// and two identities on the filter set of the golden cases: Vega is 0 in the Vega system and
// a flat f_ν of AB magnitude 0 is 0 in the AB system.
#include "photometry/magnitudes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "numerics/interpolation.h"
#include "numerics/order.h"
#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"

namespace veltrane {
namespace {

using V = std::vector<float>;

FilterSet& shared_set() {  // 24 MB: one per test binary, as one per run
  static auto set = std::make_unique<FilterSet>();
  return *set;
}

void put_filter(FilterSet& set, int i, const V& l, const V& t, float f_vega, float m_ab, float t_g) {
  set.t_lambda[std::size_t(i)] = l;
  set.t_fluxes[std::size_t(i)] = t;
  set.Npt_fil[std::size_t(i)] = int(l.size());
  set.T_l_Area[std::size_t(i)] = 2000.0f;
  set.F_l_Vega[std::size_t(i)] = f_vega;
  set.M_ABVega[std::size_t(i)] = m_ab;
  set.T_G_Vega[std::size_t(i)] = t_g;
}

struct Outcome {
  MagnitudeTable table;
  FilterResults res;
  CapturedReport report;
  bool failed() const { return report.status.failed(); }
  std::string out() const { return report.console.captured(); }
};

std::unique_ptr<Outcome> blank_outcome() {
  auto r = std::make_unique<Outcome>();
  std::fill(r->table.m.begin(), r->table.m.end(), 7.0f);
  for (auto* v : {&r->res.filt_res_a, &r->res.filt_res_b, &r->res.filt_zp_v}) v->assign(kMaxFilters, 7.0f);
  return r;
}

std::unique_ptr<Outcome> eval(const V& l, const V& f, bool failed_before = false) {
  auto r = blank_outcome();
  if (failed_before) r->report.status.fail({});
  EvalFilters(r->report.context, l, f, shared_set(), r->res, r->table.plane(1), Rule::T);
  return r;
}

V flat(float a, float b, float value) { return V(std::size_t((b - a) / 100.0f) + 1, value); }
V grid(float a, float b) {
  V g;
  for (float x = a; x <= b; x += 100.0f) g.push_back(x);
  return g;
}

TEST(EvalFilters, SevenSystemsAndTheCasesWithoutMagnitude) {
  FilterSet& set = shared_set();
  set.Nfilters = 4;
  const float nan = std::nanf("");
  put_filter(set, 0, {4000, 6000}, {1, 1}, 10000, 1, -999);  // Z_1 = 10
  put_filter(set, 1, {4000, 6000}, {1, 1}, -999, nan, nan);  // no Vega flux
  put_filter(set, 2, {4000, 5000, 6000}, {1, 1, 1}, 1000, 0, 9);
  put_filter(set, 3, {}, {}, -999, -999, -999);  // no sample
  // F = ∫0.5 dλ over [4000, 6000] = 1000: −2.5 log10 F = −7.5.
  auto r = eval(grid(3000, 7000), flat(3000, 7000, 0.5f));
  const float want[2][kNumSystems] = {{2.5f, 2.526f, 3.5f, -999, -28.6f, -28.675f, -7.5f},
                                      {-999, -999, -999, -999, -28.6f, -28.675f, -7.5f}};
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < kNumSystems; ++k) EXPECT_NEAR(r->table.at(i, k, 1), want[i][k], 2e-6) << i << " " << k;
  for (int k = 0; k < kNumSystems; ++k) {
    EXPECT_EQ(r->table.at(3, k, 1), -999.0f);
    EXPECT_EQ(r->table.at(4, k, 1), 7.0f);  // beyond Nfilters and in other slots: untouched
    EXPECT_EQ(r->table.at(0, k, 0), 7.0f);
  }
  EXPECT_EQ(r->res.filt_zp_v[0], 10.0f);
  EXPECT_TRUE(std::isnan(r->res.filt_zp_v[1]));
  EXPECT_EQ(r->res.filt_zp_v[4], -999.0f);
  EXPECT_EQ(r->res.filt_res_a[3], 0.0f);
  EXPECT_FALSE(r->failed());
  // Below every filter, negative over the lower half, zero flux: no magnitude, status kept.
  const struct {
    V l, f;
    float covered, positive;
  } none[] = {{grid(1000, 3000), flat(1000, 3000, 1), 0, 0},
              {grid(3000, 5000), flat(3000, 5000, -1), 0.5f, 0},
              {grid(3000, 7000), flat(3000, 7000, 0), 1, 0}};
  for (const auto& c : none) {
    r = eval(c.l, c.f);
    EXPECT_EQ(r->res.filt_res_a[2], c.covered);
    EXPECT_EQ(r->res.filt_res_b[2], c.positive);
    for (int k = 0; k < kNumSystems; ++k) EXPECT_EQ(r->table.at(2, k, 1), -999.0f) << k;
    EXPECT_FALSE(r->failed());
    EXPECT_EQ(r->out(), "");
  }
  // A model that already failed: nothing is written.
  r = eval(grid(3000, 7000), flat(3000, 7000, 1), true);
  for (float v : r->table.m) ASSERT_EQ(v, 7.0f);
  EXPECT_EQ(r->res.filt_zp_v[0], 7.0f);
  // Repeated wavelengths fail every integration; the other filters are still measured.
  r = eval({3000, 5000, 5000, 7000}, {1, 1, 1, 1});
  EXPECT_TRUE(r->failed());
  EXPECT_EQ(r->res.filt_res_a[2], -999.0f / 2000.0f);
  EXPECT_EQ(r->table.at(2, 0, 1), -999.0f);
}

// The golden cases' filter set (tests/cases/_shared/filters) and its Vega spectrum.
TEST(EvalFilters, VegaIsZeroAndAFlatFnuIsAbZero) {
  const std::string dir = std::string(VELTRANE_TEST_DATA) + "/cases/_shared/filters/";
  CapturedReport report;
  const FilterLoad load = ReadFilters(report.context, dir, Rule::T);
  ASSERT_EQ(load.flow, Flow::go_on);
  shared_set() = *load.set;
  ASSERT_TRUE(report.status.good()) << report.console.captured();
  std::ifstream in(dir + "VegaLR.dat");
  std::string label;
  int n = 0;
  in >> label >> n;
  V l(std::size_t(n), 0.0f), f(l), fnu(l);
  for (int k = 0; k < n; ++k) in >> l[std::size_t(k)] >> f[std::size_t(k)];
  // f_ν = 10^(−48.6/2.5) erg/s/cm²/Hz as f_λ = f_ν c / λ².
  for (int k = 0; k < n; ++k)
    fnu[std::size_t(k)] =
        float(std::pow(10.0, -48.6 / 2.5) * 2.99792458e18 / (double(l[std::size_t(k)]) * double(l[std::size_t(k)])));
  const auto vega = eval(l, f), ab = eval(l, fnu);
  for (int i = 0; i < shared_set().Nfilters; ++i) {
    EXPECT_EQ(vega->table.at(i, 0, 1), 0.0f) << i;
    EXPECT_NEAR(vega->table.at(i, 1, 1), 0.026f, 1e-6) << i;
    EXPECT_NEAR(vega->table.at(i, 3, 1), shared_set().T_G_Vega[std::size_t(i)], 2e-6) << i;
    EXPECT_NEAR(ab->table.at(i, 2, 1), 0.0f, 2e-3) << i;
  }
}

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// The filters' support only (with bands of the grid or without) against the literal
// measurement of every filter: the same magnitudes, fractions, status, console and bracket,
// on random filter sets (some curves not increasing, short or with NaN) and spectra.
TEST(EvalFilters, SupportOnlyMatchesTheLiteralMeasurement) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  auto work = std::make_unique<FilterWork>();
  for (int round = 0; round < 40; ++round) {
    FilterSet& set = shared_set();
    set.Nfilters = 1 + int(rng() % 12);
    for (int i = 0; i < set.Nfilters; ++i) {
      V l, t;
      float x = 3000.0f + 4000.0f * u(rng);
      for (std::size_t k = 0, n = rng() % 5 == 0 ? rng() % 3 : 2 + rng() % 200; k < n;
           ++k, x += 0.5f + 20.0f * u(rng)) {
        l.push_back(x);
        t.push_back(u(rng) * 1.2f - 0.1f);
      }
      if (l.size() > 3 && rng() % 8 == 0) std::swap(l[1], l[2]);
      if (!t.empty() && rng() % 10 == 0) t[0] = std::nanf("");
      put_filter(set, i, l, t, 1000.0f * u(rng), u(rng), rng() % 4 ? 9.0f : -999.0f);
      set.T_l_Area[std::size_t(i)] = 100.0f + 1000.0f * u(rng);
      set.increasing[std::size_t(i)] = l.size() >= 2 && strictly_increasing(l);
    }
    V l, f;
    for (float x = 2000.0f + 2000.0f * u(rng); l.size() < 100 + rng() % 3000; x += 0.2f + 5.0f * u(rng)) {
      l.push_back(x);
      f.push_back(u(rng) * 3.0f - 0.5f);
    }
    if (round % 4 == 0) {  // a last filter of two samples: its bracket is the first interval
      const int last = set.Nfilters - 1;
      put_filter(set, last, V{l[10], l[60]}, V{0.5f, 0.8f}, 500.0f, 0.5f, 9.0f);
      set.T_l_Area[std::size_t(last)] = 300.0f;
      set.increasing[std::size_t(last)] = true;
    }
    std::vector<Band> bands(std::size_t(set.Nfilters));
    for (std::size_t i = 0; i < bands.size(); ++i)
      if (set.increasing[i]) bands[i] = band_on_grid(l, set.lambda(int(i)), set.transmission(int(i)));
    set_saved_bracket(3);
    const auto want = eval(l, f);
    const int bracket = saved_bracket();
    for (bool with_bands : {false, true}) {
      auto got = blank_outcome();
      set_saved_bracket(3);
      EvalFilters(got->report.context, Spectrum(l, f), set, got->res, got->table.plane(1), Rule::T, *work,
                  with_bands ? std::span<const Band>(bands) : std::span<const Band>());
      ASSERT_EQ(saved_bracket(), bracket) << round;
      ASSERT_EQ(got->failed(), want->failed()) << round;
      ASSERT_EQ(got->out(), want->out()) << round;
      for (std::size_t k = 0; k < got->table.m.size(); ++k)
        ASSERT_EQ(bits(got->table.m[k]), bits(want->table.m[k])) << round << " " << k;
      for (std::size_t i = 0; i < kMaxFilters; ++i)
        ASSERT_TRUE(bits(got->res.filt_res_a[i]) == bits(want->res.filt_res_a[i]) &&
                    bits(got->res.filt_res_b[i]) == bits(want->res.filt_res_b[i]) &&
                    bits(got->res.filt_zp_v[i]) == bits(want->res.filt_zp_v[i]))
            << round << " " << i;
      ASSERT_TRUE(std::all_of(work->ts.begin(), work->ts.end(), [](float v) { return v == 0.0f; }));
    }
  }
  set_saved_bracket(1);
}

// Three spectra on one grid measured together against three literal measurements one after
// the other: the same planes, results (the third's), status and bracket, and work arrays left
// at 0.0; on random increasing filters, some beyond the grid, and fluxes that are negative or
// NaN here and there (the covered fraction then differs from the positive one).
TEST(EvalFilters, ThreeSpectraOnBandsMatchThreeLiteralMeasurements) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  auto work = std::make_unique<FilterWork>();
  for (int round = 0; round < 40; ++round) {
    FilterSet& set = shared_set();
    set.Nfilters = 1 + int(rng() % 12);
    V l;
    for (float x = 2000.0f + 2000.0f * u(rng); l.size() < 100 + rng() % 3000; x += 0.2f + 5.0f * u(rng)) l.push_back(x);
    for (int i = 0; i < set.Nfilters; ++i) {
      V fl, t;
      float x = (rng() % 6 == 0 ? 500.0f : 2500.0f) + 4000.0f * u(rng);
      for (std::size_t k = 0, n = 2 + rng() % 200; k < n; ++k, x += 0.5f + 20.0f * u(rng)) {
        fl.push_back(x);
        t.push_back(u(rng) * 1.2f - 0.1f);
      }
      put_filter(set, i, fl, t, 1000.0f * u(rng), u(rng), rng() % 4 ? 9.0f : -999.0f);
      set.T_l_Area[std::size_t(i)] = 100.0f + 1000.0f * u(rng);
      set.increasing[std::size_t(i)] = true;
    }
    std::array<V, 3> f;
    for (V& spectrum : f)
      for (std::size_t k = 0; k < l.size(); ++k)
        spectrum.push_back(rng() % 50 == 0 ? std::nanf("") : u(rng) * 3.0f - (round % 2 ? 0.5f : 0.0f));
    std::vector<Band> bands(std::size_t(set.Nfilters));
    for (std::size_t i = 0; i < bands.size(); ++i)
      bands[i] = band_on_grid(l, set.lambda(int(i)), set.transmission(int(i)));
    auto want = blank_outcome(), got = blank_outcome();
    set_saved_bracket(3);
    for (int j = 0; j < 3; ++j)
      EvalFilters(want->report.context, l, f[std::size_t(j)], set, want->res, want->table.plane(j + 1), Rule::T);
    const int bracket = saved_bracket();
    set_saved_bracket(3);
    EvalFiltersOnBands(got->report.context, l, {f[0], f[1], f[2]}, set, got->res,
                       {got->table.plane(1), got->table.plane(2), got->table.plane(3)}, *work, bands);
    ASSERT_EQ(saved_bracket(), bracket) << round;
    ASSERT_EQ(got->failed(), want->failed()) << round;
    ASSERT_EQ(got->out(), want->out()) << round;
    for (std::size_t k = 0; k < got->table.m.size(); ++k)
      ASSERT_EQ(bits(got->table.m[k]), bits(want->table.m[k])) << round << " " << k;
    for (std::size_t i = 0; i < kMaxFilters; ++i)
      ASSERT_TRUE(bits(got->res.filt_res_a[i]) == bits(want->res.filt_res_a[i]) &&
                  bits(got->res.filt_res_b[i]) == bits(want->res.filt_res_b[i]) &&
                  bits(got->res.filt_zp_v[i]) == bits(want->res.filt_zp_v[i]))
          << round << " " << i;
    for (const V* w : {&work->tq, &work->tp, &work->tp2, &work->tp3})
      ASSERT_TRUE(std::all_of(w->begin(), w->end(), [](float v) { return v == 0.0f; }));
  }
  set_saved_bracket(1);
}

}  // namespace
}  // namespace veltrane
