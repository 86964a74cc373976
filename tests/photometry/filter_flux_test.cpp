// EvalTFluxes: values worked by hand with trapezoids (every number exact in single
// precision), and the bisection path against one fresh LINEAR1_Deg search per sample, bit
// for bit, saved bracket included.
#include "photometry/filter_flux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numerics/interpolation.h"

namespace veltrane {
namespace {

using V = std::vector<float>;

V range(float a, float b, float step) {
  V v;
  for (float x = a; x <= b; x += step) v.push_back(x);
  return v;
}

TEST(EvalTFluxes, WorkedValues) {
  const V box{4000, 6000}, one2{1, 1}, box3{4000, 5000, 6000}, one3{1, 1, 1};
  const V s5{4000, 4500, 5000, 5500, 6000}, ends{3000, 4000, 6000, 7000};
  const struct {
    V ls, fs, lf, tf;
    float D, flux, leff, covered, positive;
    int keep;
    const char* what;
  } cases[] = {{range(3000, 7000, 100), V(41, 1), box, one2, 2000, 2000, 5000, 1, 1, 1, "flux not divided by the area"},
               {range(1000, 3000, 500), V(5, 5), box, one2, 2000, -999, 5000, 0, 0, 1, "wholly below: no overlap"},
               {range(2000, 4000, 500), V(5, 5), box, one2, 2000, -999, 5000, 0, 0, 1, "ending at the filter's start"},
               {range(6000, 9000, 500), V(7, 5), box, one2, 2000, -999, 5000, 0, 0, 1, "starting at its end"},
               {range(3000, 5000, 100), V(21, 2), box3, one3, 2000, 2000, 5000, 0.5, 0.5, 1, "lower half"},
               {range(3000, 5000, 100), V(21, -3), box3, one3, 2000, 0, 5000, 0.5, 0, 1, "negative lower half"},
               {ends, V(4, 1), box, one2, 2000, 2000, 5000, 1, 1, 1, "samples at the ends count inside"},
               {s5, V(5, 1), box3, {-1, 1, -1}, 1, 500, NAN, 500, 500, 1, "negative transmission clipped (∫T = 0)"},
               {s5, {4, 4, 4, -4, -4}, box, one2, 2000, 5000, 5000, 1, 0.625, 1, "only positive flux counts"},
               {range(3000, 7000, 100), V(41, 1), {}, {}, 2000, -999, -999, 0, 0, 1, "no filter sample"},
               {{}, {}, box, one2, 2000, -999, 5000, 0, 0, 1, "no spectrum sample"},
               {range(1000, 20999, 1), V(20000, 1), {15000, 20000}, one2, 5000, 5000, 17500, 1, 1, 1, "20,000 samples"},
               {range(3000, 8000, 100),
                V(51, 1),
                {4000, 6000, 5000, 7000},
                {1, 1, 1, 1},
                3000,
                3000,
                1,
                1,
                1,
                0,
                "filter not increasing: its own integrals fail, -999/-999"}};
  for (const auto& c : cases) {
    CapturedReport report;
    const FilterFlux r = EvalTFluxes(report.context, c.ls, c.fs, c.lf, c.tf, c.D, Rule::T);
    EXPECT_EQ(r.flux, c.flux) << c.what;
    EXPECT_TRUE(r.lambda_eff == c.leff || (std::isnan(r.lambda_eff) && std::isnan(c.leff))) << c.what;
    EXPECT_EQ(r.covered, c.covered) << c.what;
    EXPECT_EQ(r.positive, c.positive) << c.what;
    EXPECT_EQ(report.status.good(), c.keep == 1) << c.what;
    EXPECT_EQ(report.console.captured().empty(), c.keep == 1) << c.what;
  }
}

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// Random filters (some negative or NaN transmissions) and spectra (sorted or not, samples on
// filter nodes, NaN wavelengths, positive throughout or not): transmission, saved bracket
// and the whole measurement.
TEST(EvalTFluxes, FastPathMatchesTheLiteralOneBitForBit) {
  std::mt19937 rng(20240611u);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int round = 0; round < 400; ++round) {
    V lf, tf, ls, fs;
    float x = 3000.0f + 1000.0f * u(rng);
    for (int k = 0, nf = 2 + int(rng() % (round % 3 == 0 ? 3u : 300u)); k < nf; ++k, x += 0.01f + 40.0f * u(rng)) {
      lf.push_back(x);
      tf.push_back(u(rng) * 1.2f - 0.1f);
    }
    if (round % 11 == 0) tf[rng() % tf.size()] = std::numeric_limits<float>::quiet_NaN();
    const float lo = lf.front() - 500.0f, hi = lf.back() + 500.0f;
    for (int k = 0, ns = 1 + int(rng() % 3000u); k < ns; ++k) {
      ls.push_back(rng() % 10u < 3 ? lf[rng() % lf.size()] : lo + (hi - lo) * u(rng));
      const float f = u(rng) * 2.0f - 0.5f;
      fs.push_back(round % 4 == 1 ? std::abs(f) + 0.01f : f);  // one round in four: all positive
    }
    if (round % 2 == 0) std::sort(ls.begin(), ls.end());
    if (round % 7 == 0) ls[rng() % ls.size()] = std::numeric_limits<float>::quiet_NaN();

    const int start = 1 + int(rng() % 400u);
    V fast(ls.size()), lit(ls.size());
    set_saved_bracket(start);
    detail::transmission_on_spectrum(ls, lf, tf, fast, false);
    const int after_fast = saved_bracket();
    set_saved_bracket(start);
    detail::transmission_on_spectrum(ls, lf, tf, lit, true);
    ASSERT_EQ(after_fast, saved_bracket()) << round;
    for (std::size_t k = 0; k < ls.size(); ++k) ASSERT_EQ(bits(fast[k]), bits(lit[k])) << round << " " << k;

    CapturedReport rf, rl;
    const FilterFlux f = EvalTFluxes(rf.context, ls, fs, lf, tf, 123.0f, Rule::T);
    const int bracket = saved_bracket();
    const FilterFlux l = EvalTFluxesLiteral(rl.context, ls, fs, lf, tf, 123.0f, Rule::T);
    ASSERT_EQ(saved_bracket(), bracket) << round;
    for (auto [a, b] :
         {std::pair{f.flux, l.flux}, {f.lambda_eff, l.lambda_eff}, {f.covered, l.covered}, {f.positive, l.positive}})
      ASSERT_EQ(bits(a), bits(b)) << round;
    ASSERT_EQ(rf.status.failed(), rl.status.failed());
    ASSERT_EQ(rf.console.captured(), rl.console.captured());
  }
  set_saved_bracket(1);
}

}  // namespace
}  // namespace veltrane
