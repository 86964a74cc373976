// IntegralALL: worked values (data file), its two failures, exactness on constant and linear
// functions, and bit-for-bit agreement with the literal weight-array form on random tables.
#include "numerics/integration.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "numerics/interpolation.h"

namespace veltrane {
namespace {

using Vec = std::vector<float>;

float integrate(const Vec& lam, const Vec& F, float li, float lf, int mode, bool* failed = nullptr,
                std::string* out = nullptr) {
  CapturedReport report;
  const float r = IntegralALL(report.context, lam, F, li, lf, rule_of(mode));
  if (failed) *failed = report.status.failed();
  if (out) *out = report.console.captured();
  return r;
}

TEST(IntegralALL, WorkedValues) {
  const Vec lam{1, 2, 3, 4}, ones{1, 1, 1, 1};
  std::ifstream in(std::string(VELTRANE_TEST_DATA) + "/numerics/data/integrals.txt");
  int cases = 0;
  for (std::string line; std::getline(in, line); ++cases) {
    if (line.empty() || line[0] == '#') {
      --cases;
      continue;
    }
    std::istringstream l(line);
    std::string f;
    float li = 0, lf = 0, want = 0;
    int mode = 0;
    l >> f >> li >> lf >> mode >> want;
    EXPECT_NEAR(integrate(lam, f == "ones" ? ones : lam, li, lf, mode), want, 2e-6f) << line;
  }
  EXPECT_EQ(cases, 28);
}

TEST(IntegralALL, FailuresPrintTwoLinesClearTheStatusAndReturnTheSentinel) {
  const std::string range = "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [IntegralALL] λ & F is out of range @@\n";
  const std::string order = "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [IntegralALL] λ is not in increasing @\n";
  const struct {
    Vec lam;
    float li, lf;
    const std::string& report;
  } cases[] = {{{1, 2, 3, 4}, 4, 6, range}, {{1, 2, 3, 4}, 0, 1, range}, {{}, 0, 1, range},          {{2}, 2, 3, range},
               {{1, 2, 2, 3}, 1, 3, order}, {{1, 3, 2, 4}, 1, 4, order}, {{1, 2, 3, 3}, 0, 9, order}};
  for (const auto& c : cases)
    for (int mode : {0, 1, 2, 3, 4, 5, 9}) {
      bool failed = false;
      std::string out;
      EXPECT_EQ(integrate(c.lam, Vec(c.lam.size(), 1.0f), c.li, c.lf, mode, &failed, &out), -999.0f);
      EXPECT_TRUE(failed);
      EXPECT_EQ(out, c.report) << c.li << " " << c.lf << " mode " << mode;
    }
}

// Random increasing tables with limits between samples: constants are exact for every rule
// but S, lines for T, M and I, to rounding.
TEST(IntegralALL, ConstantsAndLinesAreExact) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> step(0.5f, 20.0f), frac(0.0f, 1.0f), coef(-1.0f, 1.0f);
  for (int trial = 0; trial < 300; ++trial) {
    Vec lam;
    for (float x = 3000.0f; lam.size() < 60; x += step(rng)) lam.push_back(x);
    const auto cut = [&](std::size_t j) { return lam[j] + frac(rng) * (lam[j + 1] - lam[j]); };
    const float li = cut(rng() % 20), lf = cut(30 + rng() % 29), b = coef(rng);
    Vec line;
    for (float x : lam) line.push_back(10000.0f + b * x);
    const double dli = double(li), dlf = double(lf);
    const double flat = 7.0 * (dlf - dli), sloped = 10000.0 * (dlf - dli) + 0.5 * double(b) * (dlf * dlf - dli * dli);
    for (int mode : {0, 1, 2, 4, 5}) EXPECT_NEAR(integrate(lam, Vec(60, 7.0f), li, lf, mode), flat, 1.2e-5 * flat);
    for (int mode : {2, 4, 5}) EXPECT_NEAR(integrate(lam, line, li, lf, mode), sloped, 1.2e-5 * std::fabs(sloped));
  }
}

bool same(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) || (std::isnan(a) && std::isnan(b));
}

// The same result bits, status, report and saved bracket.
void expect_literal(const Vec& lam, const Vec& F, float li, float lf, int mode) {
  CapturedReport literal, fast;
  set_saved_bracket(3);
  const float want = IntegralALLLiteral(literal.context, lam, F, li, lf, rule_of(mode));
  const int bracket = saved_bracket();
  set_saved_bracket(3);
  Vec longer = F;  // values past the wavelengths are not part of the table
  longer.push_back(std::numeric_limits<float>::infinity());
  const float got = IntegralALL(fast.context, lam, longer, li, lf, rule_of(mode));
  ASSERT_TRUE(same(got, want)) << "mode " << mode << ": " << got << " vs " << want;
  ASSERT_EQ(fast.status.failed(), literal.status.failed());
  ASSERT_EQ(fast.console.captured(), literal.console.captured()) << "mode " << mode;
  ASSERT_EQ(saved_bracket(), bracket);
}

// Limits on samples, beyond either end, reversed now and then; infinities and NaN that the
// inner sum carries through zero weights; now and then a repeated wavelength (both fail with
// the same report); 1 to 40 samples, and once 15,000.
TEST(IntegralALL, MatchesTheLiteralFormBitForBit) {
  std::mt19937 rng(31337);
  std::uniform_real_distribution<float> step(0.01f, 5.0f), val(-10.0f, 10.0f);
  for (int trial = 0; trial < 2000; ++trial) {
    Vec lam, F;
    for (float x = 500.0f; lam.size() < 1 + rng() % 40; x += step(rng)) {
      lam.push_back(x);
      F.push_back(val(rng));
    }
    if (trial % 50 == 0) F[std::size_t(trial / 50) % F.size()] = std::numeric_limits<float>::infinity();
    if (trial % 77 == 0) F.back() = std::numeric_limits<float>::quiet_NaN();
    if (trial % 50 == 25) F.back() = std::numeric_limits<float>::infinity();  // NaN in S, by its zero weight
    if (trial % 40 == 13 && lam.size() > 2) lam[lam.size() / 2] = lam[lam.size() / 2 - 1];  // not increasing
    const auto limit = [&]() -> float {
      switch (rng() % 10) {
        case 0:
        case 1:
        case 2: return lam[rng() % lam.size()];
        case 3: return lam.front() - 1.0f;
        case 4: return lam.back() + 1.0f;
        default: return lam.front() - 3.0f + float(rng() % 1000) / 999.0f * (lam.back() - lam.front() + 6.0f);
      }
    };
    float li = limit(), lf = limit();
    if (trial % 5 != 0 && li > lf) std::swap(li, lf);
    for (int mode = -1; mode <= 7; ++mode) expect_literal(lam, F, li, lf, mode);
  }
  Vec lam, F;
  for (int k = 0; k < 15000; ++k) {
    lam.push_back(3000.0f + 0.5f * float(k));
    F.push_back(2.0f + 0.001f * lam.back());
  }
  for (int mode = 0; mode <= 5; ++mode) expect_literal(lam, F, 3100.25f, 10000.75f, mode);
}

// Rule T over a filter's support: for an integrand that is 0.0 outside [lambda_i, lambda_f]
// (as EvalTFluxes builds them, infinities and NaN inside included), the same bits and saved
// bracket as IntegralALL over every sample.
TEST(IntegralALL, SupportFormMatchesRuleTBitForBit) {
  std::mt19937 rng(4242);
  std::uniform_real_distribution<float> step(0.01f, 5.0f), val(-2.0f, 10.0f);
  for (int trial = 0; trial < 3000; ++trial) {
    Vec lam;
    for (float x = 1000.0f; lam.size() < 2 + rng() % 80; x += step(rng)) lam.push_back(x);
    const float span = lam.back() - lam.front();
    float li = lam.front() - 5.0f + (span + 10.0f) * float(rng() % 1000) / 999.0f;
    float lf = lam.front() - 5.0f + (span + 10.0f) * float(rng() % 1000) / 999.0f;
    if (rng() % 4 == 0) li = lam[rng() % lam.size()];
    if (rng() % 4 == 0) lf = lam[rng() % lam.size()];
    if (li > lf) std::swap(li, lf);
    if (!(li < lam.back() && lf > lam.front() && li < lf)) continue;  // what EvalTFluxes checks
    Vec F(lam.size(), 0.0f);
    for (std::size_t k = 0; k < lam.size(); ++k)
      if (li <= lam[k] && lam[k] <= lf)
        F[k] = trial % 37 == 0 && k % 5 == 0 ? std::numeric_limits<float>::infinity() : val(rng);
    CapturedReport report;
    set_saved_bracket(5);
    const float want = IntegralALL(report.context, lam, F, li, lf, Rule::T);
    const int bracket = saved_bracket();
    set_saved_bracket(5);
    const float got = detail::integral_t_support(lam, F, li, lf);
    ASSERT_TRUE(same(got, want)) << trial << ": " << got << " vs " << want;
    ASSERT_EQ(saved_bracket(), bracket) << trial;
    ASSERT_TRUE(report.status.good());
  }
  set_saved_bracket(1);
}

}  // namespace
}  // namespace veltrane
