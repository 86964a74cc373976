// IntegralALL: worked values, failures, the trace, exactness properties, and bit-for-bit
// agreement with the literal weight-array form of the six rules kept below as reference.
// Worked values are computed by hand; printed fields were checked with gfortran (fprobe).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "numerics/console.h"
#include "numerics/integration.h"
#include "numerics/interpolation.h"

namespace veltrane {
namespace {

using Vec = std::vector<float>;

// ---------------------------------------------------------------------------------------
// Reference: the rules exactly as written, with zeroed N-element weight arrays (1-based,
// element 0 unused), every weight set first, then the straddling weight changed, then the
// inner sum over k = 1..N, then the pieces. Slow and obvious on purpose.
float reference_integral(const Vec& lam, const Vec& F, float li, float lf, int& keep, int mode) {
  const int N = static_cast<int>(lam.size());
  float lo = std::numeric_limits<float>::max();
  float hi = -std::numeric_limits<float>::max();
  for (float v : lam) {
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  if (li >= hi || lf <= lo) {
    keep = 0;
    return -999.0f;
  }
  for (int k = 0; k + 1 < N; ++k) {
    if (lam[static_cast<std::size_t>(k)] >= lam[static_cast<std::size_t>(k + 1)]) {
      keep = 0;
      return -999.0f;
    }
  }
  if (N == 1) return 0.0f;

  const auto U = static_cast<std::size_t>(N + 2);
  Vec L(U, 0.0f), Fv(U, 0.0f);  // Fv(N + 1) = 0.0
  for (int k = 1; k <= N; ++k) {
    L[static_cast<std::size_t>(k)] = lam[static_cast<std::size_t>(k - 1)];
    Fv[static_cast<std::size_t>(k)] = F[static_cast<std::size_t>(k - 1)];
  }
  Vec sr(U, 0.0f), sl(U, 0.0f), st(U, 0.0f), sm(U, 0.0f), sw(U, 0.0f), sz(U, 0.0f);
  const auto at = [](Vec& v, int k) -> float& { return v[static_cast<std::size_t>(k)]; };

  int n_eq_i = 0, n_eq_f = 0, n_below_i = 0, n_above_f = 0;
  float next = std::numeric_limits<float>::max();
  float prev = -std::numeric_limits<float>::max();
  for (int k = 1; k <= N; ++k) {
    const float v = at(L, k);
    n_eq_i += v == li;
    n_eq_f += v == lf;
    n_below_i += v < li;
    n_above_f += v > lf;
    if (v > li && v < next) next = v;
    if (v < lf && v > prev) prev = v;
  }
  const auto inside = [&](int k) { return li <= at(L, k) && at(L, k) <= lf; };
  const bool left = n_eq_i == 0 && n_below_i > 0;
  const bool right = n_eq_f == 0 && n_above_f > 0;
  int ilast = -999;
  const auto f = [&](float x) { return LINEAR1_Deg(x, lam, F, ilast); };
  float inner = 0.0f, lp = 0.0f, rp = 0.0f;

  switch (mode) {
    case 0: {  // R
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) at(sr, k) = at(L, k + 1) - at(L, k);
      int K = 1;
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) K = k;
      if (lf < at(L, N)) at(sr, K) = 0.0f;
      for (int k = 1; k <= N; ++k) inner += at(Fv, k) * at(sr, k);
      ilast = -999;
      if (left) lp = (next - li) * f(li);
      if (right) rp = (lf - prev) * f(prev);
      return (inner + lp) + rp;
    }
    case 1: {  // L
      for (int k = 2; k <= N; ++k)
        if (inside(k)) at(sl, k) = at(L, k) - at(L, k - 1);
      int J = 1;
      for (int k = 2; k <= N; ++k)
        if (at(L, k) <= li) J = k;
      if (n_eq_i == 1) {
        at(sl, J) = 0.0f;
      } else if (n_eq_i == 0 && n_below_i > 0) {
        at(sl, J + 1) = 0.0f;
      }
      for (int k = 1; k <= N; ++k) inner += at(Fv, k) * at(sl, k);
      ilast = -999;
      if (left) lp = (next - li) * f(next);
      if (right) rp = (lf - prev) * f(lf);
      return (inner + lp) + rp;
    }
    case 2: {  // T
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) at(st, k) = at(L, k + 1) - at(L, k);
      int K = 1;
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) K = k;
      if (lf < at(L, N)) at(st, K) = 0.0f;
      for (int k = 1; k <= N; ++k) at(sw, k) = k < N ? at(Fv, k + 1) : 0.0f;  // F shifted
      for (int k = 1; k <= N; ++k) at(sm, k) = 0.5f * (at(Fv, k) + at(sw, k));
      for (int k = 1; k <= N; ++k) inner += at(sm, k) * at(st, k);
      ilast = -999;
      if (left) {
        const float a = f(li);
        const float b = f(next);
        lp = 0.5f * (a + b) * (next - li);
      }
      if (right) {
        const float a = f(prev);
        const float b = f(lf);
        rp = 0.5f * (a + b) * (lf - prev);
      }
      return (inner + lp) + rp;
    }
    case 4:
    case 5: {  // M, I
      const bool simpson = mode == 5;
      ilast = -999;
      for (int k = 1; k <= N - 1; ++k) {
        if (li <= at(L, k) && at(L, k + 1) <= lf) {
          if (simpson) {
            at(sw, k) = (at(L, k + 1) - at(L, k)) / 6.0f;
            at(sz, k) = f((at(L, k + 1) + at(L, k)) * 0.5f);
          } else {
            at(sw, k) = at(L, k + 1) - at(L, k);
            at(sm, k) = at(L, k) + 0.5f * at(sw, k);
            at(sz, k) = f(at(sm, k));
          }
        }
      }
      for (int k = 1; k <= N; ++k) {
        if (simpson) {
          inner += (at(Fv, k) + at(Fv, k + 1) + 4.0f * at(sz, k)) * at(sw, k);
        } else {
          inner += at(sw, k) * at(sz, k);
        }
      }
      ilast = -999;
      const float a = next - li;
      const float b = lf - prev;
      if (simpson) {
        if (left) {
          const float fa = f(li);
          const float fb = f(next);
          lp = (a / 6.0f) * (fa + fb + 4.0f * f((next + li) * 0.5f));
        }
        if (right) {
          const float fa = f(prev);
          const float fb = f(lf);
          rp = (b / 6.0f) * (fa + fb + 4.0f * f((prev + lf) * 0.5f));
        }
      } else {
        if (left) lp = a * f(li + 0.5f * a);
        if (right) rp = b * f(prev + 0.5f * b);
      }
      return (inner + lp) + rp;
    }
    default: {  // S
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) at(st, k) = at(L, k + 1) - at(L, k);
      if (inside(N)) at(st, N) = at(st, N - 1);
      int K = 1;
      for (int k = 1; k <= N; ++k)
        if (inside(k)) K = k;
      if (n_eq_f == 1 && K >= 2) at(st, K) = at(st, K - 1);
      if (right) at(st, K) = lf - prev;
      for (int k = 1; k <= N; ++k) inner += at(Fv, k) * at(st, k);
      ilast = -999;
      if (left) lp = (next - li) * f(li);
      if (right) rp = (lf - prev) * f(lf);
      return ((0.0f + lp) + rp) + inner;
    }
  }
}

bool same_bits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

float integrate(const Vec& lam, const Vec& F, float li, float lf, int mode) {
  Console console = Console::capture();
  int keep = 1;
  return IntegralALL(lam, F, li, lf, keep, mode, console);
}

const Vec kLam{1.0f, 2.0f, 3.0f, 4.0f};
const Vec kOnes{1.0f, 1.0f, 1.0f, 1.0f};
const Vec kLinear{1.0f, 2.0f, 3.0f, 4.0f};  // F = λ

// ---------------------------------------------------------------------------------------

TEST(IntegralALL, WorkedValues) {
  struct Case {
    const Vec* F;
    float li, lf;
    int mode;
    float expected;
    const char* what;
  };
  const Case cases[] = {
      {&kOnes, 1.0f, 4.0f, 2, 3.0f, "T over the samples: the last weight stays"},
      {&kOnes, 1.5f, 3.5f, 2, 2.0f, "T: inner 1.0 plus two pieces of 0.5"},
      {&kOnes, 0.0f, 5.0f, 0, 3.0f, "R beyond the samples: no piece"},
      {&kOnes, 0.0f, 5.0f, 1, 3.0f, "L beyond the samples"},
      {&kOnes, 0.0f, 5.0f, 2, 3.0f, "T beyond the samples"},
      {&kOnes, 0.0f, 5.0f, 3, 4.0f, "S: four samples of weight 1"},
      {&kOnes, 0.0f, 5.0f, 4, 3.0f, "M beyond the samples"},
      {&kOnes, 0.0f, 5.0f, 5, 3.0f, "I beyond the samples"},
      {&kOnes, 0.0f, 5.0f, 7, 4.0f, "mode 7 is S"},
      {&kOnes, 0.0f, 5.0f, -1, 4.0f, "mode -1 is S"},
      {&kLinear, 1.0f, 4.0f, 2, 7.5f, "T, F = λ"},
      {&kLinear, 1.0f, 4.0f, 0, 6.0f, "R, F = λ: 1 + 2 + 3"},
      {&kLinear, 1.0f, 4.0f, 1, 9.0f, "L, F = λ: 2 + 3 + 4"},
      {&kLinear, 1.0f, 4.0f, 4, 7.5f, "M, F = λ"},
      {&kLinear, 1.0f, 4.0f, 5, 7.5f, "I, F = λ"},
      {&kLinear, 1.0f, 4.0f, 3, 10.0f, "S, F = λ: the last width doubled"},
      {&kOnes, 0.5f, 3.0f, 1, 2.0f, "L below the first sample keeps [1, 2]"},
      {&kOnes, 2.0f, 4.0f, 1, 2.0f, "L on a sample drops the interval ending there"},
      {&kOnes, 1.5f, 4.0f, 1, 2.5f, "L between samples: [2, 4] plus the left piece"},
      {&kOnes, 1.0f, 3.0f, 0, 2.0f, "R on a sample below λ(N) drops the weight from it"},
      {&kLinear, 0.5f, 3.5f, 2, 5.625f, "T: inner 4.0 plus right piece 1.625"},
      // Narrower than the sampling: no sample inside, the two pieces overlap.
      {&kOnes, 2.2f, 2.6f, 0, 1.4f, "R narrow: [2.2, 3] and [2, 2.6]"},
      {&kOnes, 2.2f, 2.6f, 1, 1.4f, "L narrow"},
      {&kOnes, 2.2f, 2.6f, 2, 1.4f, "T narrow"},
      {&kOnes, 2.2f, 2.6f, 4, 1.4f, "M narrow"},
      {&kOnes, 2.2f, 2.6f, 5, 1.4f, "I narrow"},
      {&kOnes, 2.2f, 2.6f, 3, 2.0f, "S narrow: sample 1 carries the right piece's width"},
      {&kLinear, 2.2f, 2.6f, 2, 3.46f, "T narrow, F = λ: 2.08 + 1.38"},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(integrate(kLam, *c.F, c.li, c.lf, c.mode), c.expected, 2e-6f)
        << c.what << " (mode " << c.mode << ")";
  }
}

TEST(IntegralALL, FailuresPrintTwoLinesAndClearTheStatus) {
  const std::string out_of_range =
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [IntegralALL] λ & F is out of range @@\n";
  const std::string not_increasing =
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [IntegralALL] λ is not in increasing @\n";
  struct Case {
    Vec lam;
    float li, lf;
    const std::string* report;
  };
  const Case cases[] = {
      {kLam, 4.0f, 6.0f, &out_of_range},  // lambda_i at the largest wavelength
      {kLam, 0.0f, 1.0f, &out_of_range},  // lambda_f at the smallest
      {kLam, 5.0f, 9.0f, &out_of_range},
      {Vec{}, 0.0f, 1.0f, &out_of_range},  // no samples
      {Vec{1.0f, 2.0f, 2.0f, 3.0f}, 1.0f, 3.0f, &not_increasing},
      {Vec{1.0f, 3.0f, 2.0f, 4.0f}, 1.0f, 4.0f, &not_increasing},
      {Vec{1.0f, 2.0f, 3.0f, 3.0f}, 0.0f, 9.0f, &not_increasing},
  };
  for (const Case& c : cases) {
    for (int mode : {0, 1, 2, 3, 4, 5, 9}) {
      Console console = Console::capture();
      int keep = 1;
      const Vec F(c.lam.size(), 1.0f);
      EXPECT_EQ(IntegralALL(c.lam, F, c.li, c.lf, keep, mode, console, 1), -999.0f);
      EXPECT_EQ(keep, 0);
      EXPECT_EQ(console.captured(), *c.report) << c.li << " " << c.lf << " mode " << mode;
    }
  }
  // The two messages are 39 bytes each, "λ" taking two.
  EXPECT_EQ(std::string("[IntegralALL] λ & F is out of range @@").size(), 39u);
  EXPECT_EQ(std::string("[IntegralALL] λ is not in increasing @").size(), 39u);
}

TEST(IntegralALL, SuccessNeverSetsTheStatus) {
  Console console = Console::capture();
  for (int before : {0, 1}) {
    int keep = before;
    EXPECT_EQ(IntegralALL(kLam, kOnes, 1.0f, 4.0f, keep, 2, console), 3.0f);
    EXPECT_EQ(keep, before);
  }
  EXPECT_EQ(console.captured(), "");
}

TEST(IntegralALL, OneSampleInsideGivesZero) {
  const Vec lam{2.0f}, F{5.0f};
  for (int mode = -1; mode <= 6; ++mode) {
    Console console = Console::capture();
    int keep = 1;
    EXPECT_EQ(IntegralALL(lam, F, 1.0f, 3.0f, keep, mode, console), 0.0f) << mode;
    EXPECT_EQ(keep, 1);
    EXPECT_EQ(IntegralALL(lam, F, 2.0f, 3.0f, keep, mode, console), -999.0f) << mode;
    EXPECT_EQ(keep, 0);
  }
}

TEST(IntegralALL, SpansOfDifferentLengthUseTheShorter) {
  const Vec F3{1.0f, 1.0f, 1.0f};
  EXPECT_EQ(integrate(kLam, F3, 0.0f, 9.0f, 2), 2.0f);
  EXPECT_EQ(integrate(Vec{1.0f, 2.0f}, kOnes, 0.0f, 9.0f, 2), 1.0f);
}

TEST(IntegralALL, ModesOutsideZeroToFiveAreRuleS) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> val(0.0f, 5.0f);
  Vec lam, F;
  for (int k = 0; k < 40; ++k) {
    lam.push_back(100.0f + 2.5f * static_cast<float>(k));
    F.push_back(val(rng));
  }
  const float s = integrate(lam, F, 103.3f, 181.1f, 3);
  for (int mode : {-1, 6, 7, 1000, std::numeric_limits<int>::min()})
    EXPECT_TRUE(same_bits(integrate(lam, F, 103.3f, 181.1f, mode), s)) << mode;
}

// The trace, for a rule T integration whose lower limit lies below the samples.
TEST(IntegralALL, VerboseTraceRuleT) {
  Console console = Console::capture();
  int keep = 1;
  EXPECT_EQ(IntegralALL(kLam, kLinear, 0.5f, 3.5f, keep, 2, console, 1), 5.625f);
  const std::string q(65, '?');
  EXPECT_EQ(console.captured(),
            "    " + q + "\n" +
                "    [IntegralALL] WARNING! lambda_i is out of range\n"
                "    [IntegralALL] WARNING! NO EXTRAPOLATION @@@@@@@\n"
                "    [IntegralALL]           0.500 <           1.000\n"
                "    " + q + "\n" +
                "    [IntegralALL]\n"
                "    T-> Integral\n"
                "           0       0       0       1\n"
                "    ++++++ 2         3.0000         3.5000         3.5000         1.6250\n"
                "    ... SIntegra: 0.562500E+01\n"
                "    [IntegralALL]\n");
}

// Rule L above the samples: the left piece shows f(lambda_next).
TEST(IntegralALL, VerboseTraceRuleL) {
  Console console = Console::capture();
  int keep = 1;
  EXPECT_EQ(IntegralALL(kLam, kLinear, 1.5f, 4.5f, keep, 1, console, 1), 8.0f);
  const std::string q(65, '?');
  EXPECT_EQ(console.captured(),
            "    " + q + "\n" +
                "    [IntegralALL] WARNING! lambda_f is out of range\n"
                "    [IntegralALL] WARNING! NO EXTRAPOLATION @@@@@@@\n"
                "    [IntegralALL]           4.500 >           4.000\n"
                "    " + q + "\n" +
                "    [IntegralALL]\n"
                "    L-> Integral\n"
                "           0       0       1       0\n"
                "    ++++++ 1         2.0000         1.5000         2.0000         1.0000\n"
                "    ... SIntegra: 0.800000E+01\n"
                "    [IntegralALL]\n");
}

// Rule S appends λ(K), the last inside sample, to the counts.
TEST(IntegralALL, VerboseTraceRuleS) {
  Console console = Console::capture();
  int keep = 1;
  // Inner 2·1 + 3·0.5 (sample 3 carries the right piece's width), pieces 0.75 and 1.75.
  EXPECT_EQ(IntegralALL(kLam, kLinear, 1.5f, 3.5f, keep, 3, console, 1), 6.0f);
  EXPECT_EQ(console.captured(),
            "    [IntegralALL]\n"
            "    S-> Integral\n"
            "           0       0       1       1         3.0000\n"
            "    ++++++ 1         2.0000         1.5000         1.5000         0.7500\n"
            "    ++++++ 2         3.0000         3.5000         3.5000         1.7500\n"
            "    ... SIntegra: 0.600000E+01\n"
            "    [IntegralALL]\n");
}

// Rules M and I show the value at the piece's midpoint.
TEST(IntegralALL, VerboseTraceMidpointValues) {
  Console console = Console::capture();
  int keep = 1;
  IntegralALL(kLam, kLinear, 1.0f, 3.5f, keep, 4, console, 1);
  EXPECT_NE(console.captured().find(
                "    ++++++ 2         3.0000         3.5000         3.2500         1.6250\n"),
            std::string::npos)
      << console.captured();
  console.clear();
  IntegralALL(kLam, kLinear, 1.0f, 3.5f, keep, 5, console, 1);
  EXPECT_NE(console.captured().find(
                "    ++++++ 2         3.0000         3.5000         3.2500         1.6250\n"),
            std::string::npos)
      << console.captured();
}

// ---------------------------------------------------------------------------------------
// Exactness by construction: constant F for R, L, T, M, I; linear F for T, M, I, over a
// range inside the samples that cuts samples and holds at least one. Budget: the float
// sum of up to 200 terms, N·ε relative.

struct RandomTable {
  Vec lam;
  float li = 0.0f;
  float lf = 0.0f;
};

RandomTable random_table(std::mt19937& rng) {
  std::uniform_int_distribution<int> count(5, 200);
  std::uniform_real_distribution<float> step(0.5f, 20.0f);
  RandomTable t;
  const int n = count(rng);
  float x = 3000.0f;
  for (int k = 0; k < n; ++k) {
    t.lam.push_back(x);
    x += step(rng);
  }
  // Limits strictly inside intervals a < b of the table, so at least one sample lies between.
  std::uniform_int_distribution<int> first(0, n - 3);
  const int a = first(rng);
  std::uniform_int_distribution<int> second(a + 1, n - 2);
  const int b = second(rng);
  std::uniform_real_distribution<float> frac(0.05f, 0.95f);
  const auto cut = [&](int j) {
    const float lo = t.lam[static_cast<std::size_t>(j)];
    const float hi = t.lam[static_cast<std::size_t>(j + 1)];
    return lo + frac(rng) * (hi - lo);
  };
  t.li = cut(a);
  t.lf = cut(b);
  return t;
}

TEST(IntegralALL, ConstantFunctionIsExact) {
  constexpr double kRelTol = 200 * 6e-8;
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> level(0.1f, 10.0f);
  for (int trial = 0; trial < 300; ++trial) {
    const RandomTable t = random_table(rng);
    const float c = level(rng);
    const Vec F(t.lam.size(), c);
    const double exact = static_cast<double>(c) * (static_cast<double>(t.lf) - static_cast<double>(t.li));
    for (int mode : {0, 1, 2, 4, 5}) {
      const double got = integrate(t.lam, F, t.li, t.lf, mode);
      EXPECT_NEAR(got, exact, kRelTol * exact) << "trial " << trial << " mode " << mode;
    }
  }
}

TEST(IntegralALL, LinearFunctionIsExactForTMI) {
  constexpr double kRelTol = 200 * 6e-8;
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> coef(-1.0f, 1.0f);  // F stays above 3000
  for (int trial = 0; trial < 300; ++trial) {
    const RandomTable t = random_table(rng);
    const float a = 10000.0f;
    const float b = coef(rng);
    Vec F;
    for (float x : t.lam) F.push_back(a + b * x);
    // The exact integral of the sampled line (its own float values at the nodes matter
    // little: the line is evaluated in double).
    const double li = t.li, lf = t.lf;
    const double exact = static_cast<double>(a) * (lf - li) + 0.5 * static_cast<double>(b) * (lf * lf - li * li);
    for (int mode : {2, 4, 5}) {
      const double got = integrate(t.lam, F, t.li, t.lf, mode);
      EXPECT_NEAR(got, exact, kRelTol * std::fabs(exact)) << "trial " << trial << " mode " << mode;
    }
  }
}

// ---------------------------------------------------------------------------------------
// The allocation-free kernel against the literal array form, bit for bit, with the same
// interpolation calls (the saved bracket ends in the same place).

void expect_matches_reference(const Vec& lam, const Vec& F, float li, float lf, int mode,
                              const std::string& what) {
  set_saved_bracket(3);
  int keep_ref = 1;
  const float want = reference_integral(lam, F, li, lf, keep_ref, mode);
  const int bracket_ref = saved_bracket();

  set_saved_bracket(3);
  Console console = Console::capture();
  int keep = 1;
  const float got = IntegralALL(lam, F, li, lf, keep, mode, console);
  EXPECT_TRUE(same_bits(got, want)) << what << " mode " << mode << ": " << got << " vs " << want;
  EXPECT_EQ(keep, keep_ref) << what << " mode " << mode;
  EXPECT_EQ(saved_bracket(), bracket_ref) << what << " mode " << mode;
}

TEST(IntegralALL, MatchesTheLiteralRulesOnRandomData) {
  std::mt19937 rng(31337);
  std::uniform_int_distribution<int> count(1, 40);
  std::uniform_real_distribution<float> step(0.01f, 5.0f);
  std::uniform_real_distribution<float> val(-10.0f, 10.0f);
  std::uniform_int_distribution<int> pick(0, 9);
  for (int trial = 0; trial < 2000; ++trial) {
    const int n = count(rng);
    Vec lam, F;
    float x = 500.0f;
    for (int k = 0; k < n; ++k) {
      lam.push_back(x);
      x += step(rng);
      F.push_back(val(rng));
    }
    // Now and then a non-finite value, which the inner sum carries through zero weights.
    if (trial % 50 == 0) F[static_cast<std::size_t>(trial / 50) % F.size()] = std::numeric_limits<float>::infinity();
    if (trial % 77 == 0) F.back() = std::numeric_limits<float>::quiet_NaN();

    const auto limit = [&]() -> float {
      std::uniform_int_distribution<std::size_t> node(0, lam.size() - 1);
      std::uniform_real_distribution<float> anywhere(lam.front() - 3.0f, lam.back() + 3.0f);
      switch (pick(rng)) {
        case 0:
        case 1:
        case 2: return lam[node(rng)];                  // on a sample
        case 3: return lam.front() - 1.0f;              // beyond the first
        case 4: return lam.back() + 1.0f;               // beyond the last
        default: return anywhere(rng);
      }
    };
    float li = limit();
    float lf = limit();
    if (trial % 5 != 0 && li > lf) std::swap(li, lf);  // reversed limits now and then
    const std::string what = "trial " + std::to_string(trial);
    for (int mode = -1; mode <= 7; ++mode) expect_matches_reference(lam, F, li, lf, mode, what);
  }
}

TEST(IntegralALL, FifteenThousandSamples) {
  // The extended observed spectrum may hold up to 20,000 samples.
  Vec lam, F;
  for (int k = 0; k < 15000; ++k) {
    const float x = 3000.0f + 0.5f * static_cast<float>(k);  // exact in float
    lam.push_back(x);
    F.push_back(2.0f + 0.001f * x);
  }
  const float li = 3100.25f, lf = 10000.75f;
  for (int mode = 0; mode <= 5; ++mode) expect_matches_reference(lam, F, li, lf, mode, "15,000 samples");

  const double dli = li, dlf = lf;
  const double exact = 2.0 * (dlf - dli) + 0.0005 * (dlf * dlf - dli * dli);
  const double got = integrate(lam, F, li, lf, 2);
  EXPECT_NEAR(got, exact, 1e-4 * exact);  // 14,000 float additions
}

}  // namespace
}  // namespace veltrane
