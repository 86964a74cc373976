// EvalTFluxes: expected values are worked out by hand with the trapezoid rule (every number
// below is exact in single precision), and the fast transmission path is checked bit for bit
// against one LINEAR1_Deg call with a fresh search per sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "numerics/interpolation.h"
#include "photometry/filter_flux.h"

namespace veltrane {
namespace {

using V = std::vector<float>;

// Spectrum λ = a, a+step, ..., b with constant flux.
struct Flat {
  V l, f;
  Flat(float a, float b, float step, float flux) {
    for (float x = a; x <= b; x += step) {
      l.push_back(x);
      f.push_back(flux);
    }
  }
};

constexpr int kModeT = 2;

TEST(EvalTFluxes, EffectiveWavelengthOfTwoPointFilter) {
  Console console = Console::capture();
  const V lf{4000.0f, 6000.0f}, tf{1.0f, 1.0f};
  const Flat s(3000.0f, 7000.0f, 100.0f, 1.0f);
  int keep = 1;
  const FilterFlux r = EvalTFluxes(console, s.l, s.f, lf, tf, 2000.0f, kModeT, keep);
  EXPECT_EQ(r.lambda_eff, 5000.0f);
  EXPECT_EQ(r.covered, 1.0f);
  EXPECT_EQ(r.positive, 1.0f);
  EXPECT_EQ(r.flux, 2000.0f);  // not divided by the filter's area
  EXPECT_EQ(keep, 1);
  EXPECT_EQ(console.captured(), "");
}

TEST(EvalTFluxes, SpectrumBelowFilterIsNoOverlap) {
  Console console = Console::capture();
  const V lf{4000.0f, 6000.0f}, tf{1.0f, 1.0f};
  struct Case { float a, b; };
  // Wholly below; ending exactly at the filter's start; starting exactly at its end.
  for (const Case c : {Case{1000.0f, 3000.0f}, Case{2000.0f, 4000.0f}, Case{6000.0f, 9000.0f}}) {
    const Flat s(c.a, c.b, 500.0f, 5.0f);
    int keep = 1;
    const FilterFlux r = EvalTFluxes(console, s.l, s.f, lf, tf, 2000.0f, kModeT, keep);
    EXPECT_EQ(r.flux, -999.0f) << c.a;
    EXPECT_EQ(r.covered, 0.0f);
    EXPECT_EQ(r.positive, 0.0f);
    EXPECT_EQ(r.lambda_eff, 5000.0f);  // computed before the overlap check
    EXPECT_EQ(keep, 1);
  }
  EXPECT_EQ(console.captured(), "");
}

TEST(EvalTFluxes, LowerHalfOfFlatFilter) {
  Console console = Console::capture();
  const V lf{4000.0f, 5000.0f, 6000.0f}, tf{1.0f, 1.0f, 1.0f};
  struct Case { float flux, positive, F; };
  // Trapezoids of 100 Å over [4000, 5000]: ∫Ts = 1000 = half of D = 2000.
  for (const Case c : {Case{2.0f, 0.5f, 2000.0f}, Case{-3.0f, 0.0f, 0.0f}, Case{0.0f, 0.0f, 0.0f}}) {
    const Flat s(3000.0f, 5000.0f, 100.0f, c.flux);
    int keep = 1;
    const FilterFlux r = EvalTFluxes(console, s.l, s.f, lf, tf, 2000.0f, kModeT, keep);
    EXPECT_EQ(r.covered, 0.5f) << c.flux;
    EXPECT_EQ(r.positive, c.positive) << c.flux;
    EXPECT_EQ(r.flux, c.F) << c.flux;
    EXPECT_EQ(keep, 1);
  }
}

TEST(EvalTFluxes, SamplesExactlyAtFilterEndsCountInside) {
  Console console = Console::capture();
  const V lf{4000.0f, 6000.0f}, tf{1.0f, 1.0f};
  // Only the two end samples fall in the filter: Ts = 0, 1, 1, 0. The last interval inside
  // runs past 6000 and is zeroed, so ∫Ts = 2000 over [4000, 6000].
  const V ls{3000.0f, 4000.0f, 6000.0f, 7000.0f}, fs{1.0f, 1.0f, 1.0f, 1.0f};
  int keep = 1;
  const FilterFlux r = EvalTFluxes(console, ls, fs, lf, tf, 2000.0f, kModeT, keep);
  EXPECT_EQ(r.covered, 1.0f);
  EXPECT_EQ(r.positive, 1.0f);
  EXPECT_EQ(r.flux, 2000.0f);
}

TEST(EvalTFluxes, NegativeTransmissionIsClipped) {
  Console console = Console::capture();
  const V lf{4000.0f, 5000.0f, 6000.0f}, tf{-1.0f, 1.0f, -1.0f};
  const V ls{4000.0f, 4500.0f, 5000.0f, 5500.0f, 6000.0f}, fs{1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  int keep = 1;
  // Ts = -1, 0, 1, 0, -1 → 0, 0, 1, 0, 0: two trapezoids of 250. Unclipped it would be 0.
  const FilterFlux r = EvalTFluxes(console, ls, fs, lf, tf, 1.0f, kModeT, keep);
  EXPECT_EQ(r.covered, 500.0f);
  EXPECT_EQ(r.positive, 500.0f);
  EXPECT_EQ(r.flux, 500.0f);
}

TEST(EvalTFluxes, PositiveFractionCountsOnlyPositiveFlux) {
  Console console = Console::capture();
  const V lf{4000.0f, 6000.0f}, tf{1.0f, 1.0f};
  // Positive flux 4 on [4000, 5000], negative on (5000, 6000]; Q = 1, 1, 1, 0, 0.
  const V ls{4000.0f, 4500.0f, 5000.0f, 5500.0f, 6000.0f}, fs{4.0f, 4.0f, 4.0f, -4.0f, -4.0f};
  int keep = 1;
  const FilterFlux r = EvalTFluxes(console, ls, fs, lf, tf, 2000.0f, kModeT, keep);
  EXPECT_EQ(r.covered, 1.0f);
  EXPECT_EQ(r.positive, 1250.0f / 2000.0f);  // 500 + 500 + 250
  EXPECT_EQ(r.flux, 5000.0f);                // 2000 + 2000 + 1000
}

TEST(EvalTFluxes, EmptyFilterOrSpectrum) {
  Console console = Console::capture();
  const V lf{4000.0f, 6000.0f}, tf{1.0f, 1.0f};
  const Flat s(3000.0f, 7000.0f, 100.0f, 1.0f);
  int keep = 1;
  FilterFlux r = EvalTFluxes(console, s.l, s.f, V{}, V{}, 2000.0f, kModeT, keep);
  EXPECT_EQ(r.flux, -999.0f);
  EXPECT_EQ(r.lambda_eff, -999.0f);
  EXPECT_EQ(r.covered, 0.0f);
  EXPECT_EQ(r.positive, 0.0f);
  EXPECT_EQ(keep, 1);

  r = EvalTFluxes(console, V{}, V{}, lf, tf, 2000.0f, kModeT, keep);
  EXPECT_EQ(r.flux, -999.0f);
  EXPECT_EQ(r.lambda_eff, 5000.0f);
  EXPECT_EQ(r.covered, 0.0f);
  EXPECT_EQ(r.positive, 0.0f);
  EXPECT_EQ(keep, 1);
  EXPECT_EQ(console.captured(), "");
}

TEST(EvalTFluxes, FilterNotIncreasingFailsItsIntegrals) {
  Console console = Console::capture();
  const V lf{4000.0f, 6000.0f, 5000.0f, 7000.0f}, tf{1.0f, 1.0f, 1.0f, 1.0f};
  const Flat s(3000.0f, 8000.0f, 100.0f, 1.0f);
  int keep = 1;
  const FilterFlux r = EvalTFluxes(console, s.l, s.f, lf, tf, 3000.0f, kModeT, keep);
  EXPECT_EQ(keep, 0);
  EXPECT_EQ(r.lambda_eff, 1.0f);  // -999.0 / -999.0
  EXPECT_NE(console.captured().find("    [IntegralALL] λ is not in increasing @\n"), std::string::npos);
  int keep_lit = 1;
  Console other = Console::capture();
  const FilterFlux lit = EvalTFluxesLiteral(other, s.l, s.f, lf, tf, 3000.0f, kModeT, keep_lit);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(r.flux), std::bit_cast<std::uint32_t>(lit.flux));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(r.covered), std::bit_cast<std::uint32_t>(lit.covered));
}

TEST(EvalTFluxes, SpectrumOfTwentyThousandSamples) {
  Console console = Console::capture();
  const Flat s(1000.0f, 20999.0f, 1.0f, 1.0f);
  ASSERT_EQ(s.l.size(), 20000u);
  const V lf{15000.0f, 20000.0f}, tf{1.0f, 1.0f};
  int keep = 1;
  const FilterFlux r = EvalTFluxes(console, s.l, s.f, lf, tf, 5000.0f, kModeT, keep);
  EXPECT_EQ(r.covered, 1.0f);
  EXPECT_EQ(r.flux, 5000.0f);
  EXPECT_EQ(keep, 1);
}

// ---- fast path against the literal one ----

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

struct RandomCase {
  V lf, tf, ls, fs;
};

RandomCase make_case(std::mt19937& rng, int round) {
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  RandomCase c;
  const int nf = 2 + int(rng() % (round % 3 == 0 ? 3u : 300u));
  float x = 3000.0f + 1000.0f * u(rng);
  for (int k = 0; k < nf; ++k) {
    c.lf.push_back(x);
    c.tf.push_back(u(rng) * 1.2f - 0.1f);  // some negative transmissions
    x += 0.01f + 40.0f * u(rng);
  }
  if (round % 11 == 0) c.tf[rng() % c.tf.size()] = std::numeric_limits<float>::quiet_NaN();
  const int ns = 1 + int(rng() % 3000u);
  const float lo = c.lf.front() - 500.0f, hi = c.lf.back() + 500.0f;
  for (int k = 0; k < ns; ++k) {
    const unsigned pick = rng() % 10u;
    float v;
    if (pick < 3) v = c.lf[rng() % c.lf.size()];  // exactly on a filter node
    else v = lo + (hi - lo) * u(rng);
    c.ls.push_back(v);
    c.fs.push_back(u(rng) * 2.0f - 0.5f);
  }
  if (round % 2 == 0) std::sort(c.ls.begin(), c.ls.end());  // odd rounds: unordered spectra
  if (round % 7 == 0) c.ls[rng() % c.ls.size()] = std::numeric_limits<float>::quiet_NaN();
  return c;
}

TEST(EvalTFluxesFastPath, TransmissionAndSavedBracketMatchLiteralBitForBit) {
  std::mt19937 rng(20240611u);
  for (int round = 0; round < 400; ++round) {
    const RandomCase c = make_case(rng, round);
    const int start = 1 + int(rng() % 400u);
    V fast(c.ls.size()), lit(c.ls.size());
    set_saved_bracket(start);
    detail::transmission_on_spectrum(c.ls, c.lf, c.tf, fast, false);
    const int after_fast = saved_bracket();
    set_saved_bracket(start);
    detail::transmission_on_spectrum(c.ls, c.lf, c.tf, lit, true);
    const int after_lit = saved_bracket();
    ASSERT_EQ(after_fast, after_lit) << "round " << round;
    for (std::size_t k = 0; k < c.ls.size(); ++k) {
      ASSERT_EQ(bits(fast[k]), bits(lit[k])) << "round " << round << " sample " << k;
    }
  }
}

TEST(EvalTFluxesFastPath, WholeMeasurementMatchesLiteralBitForBit) {
  std::mt19937 rng(77u);
  for (int round = 0; round < 150; ++round) {
    const RandomCase c = make_case(rng, round);  // odd rounds: unordered spectra fail alike
    Console con_fast = Console::capture(), con_lit = Console::capture();
    int keep_fast = 1, keep_lit = 1;
    set_saved_bracket(5);
    const FilterFlux f = EvalTFluxes(con_fast, c.ls, c.fs, c.lf, c.tf, 123.0f, kModeT, keep_fast);
    const int after_fast = saved_bracket();
    set_saved_bracket(5);
    const FilterFlux l = EvalTFluxesLiteral(con_lit, c.ls, c.fs, c.lf, c.tf, 123.0f, kModeT, keep_lit);
    ASSERT_EQ(saved_bracket(), after_fast) << round;
    ASSERT_EQ(bits(f.flux), bits(l.flux)) << round;
    ASSERT_EQ(bits(f.lambda_eff), bits(l.lambda_eff)) << round;
    ASSERT_EQ(bits(f.covered), bits(l.covered)) << round;
    ASSERT_EQ(bits(f.positive), bits(l.positive)) << round;
    ASSERT_EQ(keep_fast, keep_lit) << round;
    ASSERT_EQ(con_fast.captured(), con_lit.captured()) << round;
  }
}

TEST(EvalTFluxesFastPath, NoInsideSampleLeavesSavedBracket) {
  const V lf{4000.0f, 5000.0f, 6000.0f}, tf{1.0f, 1.0f, 1.0f};
  const V ls{1000.0f, 2000.0f, 7000.0f};
  V ts(3);
  set_saved_bracket(42);
  detail::transmission_on_spectrum(ls, lf, tf, ts, false);
  EXPECT_EQ(saved_bracket(), 42);
  EXPECT_EQ(ts, (V{0.0f, 0.0f, 0.0f}));
}

TEST(EvalTFluxesFastPath, NodeHitsUseTheLiteralBracket) {
  // The second node closes no interval: the fresh search puts it at the start of interval 2;
  // every later node ends its interval. Saved bracket after each single evaluation:
  const V lf{1.0f, 2.0f, 3.0f, 4.0f}, tf{10.0f, 20.0f, 30.0f, 40.0f};
  struct Case { float x; int bracket; float y; };
  for (const Case c : {Case{1.0f, 1, 10.0f}, Case{2.0f, 2, 20.0f}, Case{3.0f, 2, 30.0f},
                       Case{4.0f, 3, 40.0f}, Case{2.5f, 2, 25.0f}}) {
    V ts(1);
    set_saved_bracket(1);
    detail::transmission_on_spectrum(V{c.x}, lf, tf, ts, false);
    EXPECT_EQ(saved_bracket(), c.bracket) << c.x;
    EXPECT_EQ(ts[0], c.y) << c.x;
  }
}

}  // namespace
}  // namespace veltrane
