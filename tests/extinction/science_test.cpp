// Scientific sanity: the laws against the published curves, evaluated in double precision
// straight from the papers' formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "extinction/laws.h"
#include "numerics/console.h"
#include "test_util.h"

namespace {

using veltrane::Console;

// Calzetti et al. (2000), ApJ 533, 682, eq. 4 with R_V = 4.05; λ in μm. Returns k(λ)/R_V.
double calzetti2000(double lambda_um) {
  const double rv = 4.05;
  const double l = lambda_um;
  const double k = l <= 0.63 ? 2.659 * (-2.156 + 1.509 / l - 0.198 / (l * l) + 0.011 / (l * l * l)) + rv
                             : 2.659 * (-1.857 + 1.040 / l) + rv;
  return k / rv;
}

// Cardelli, Clayton & Mathis (1989), ApJ 345, 245, eqs. 2-5: A(λ)/A_V for R_V, x in μm⁻¹.
// `b_centre` is the bump centre of b(x): 4.62 in the paper.
double ccm1989(double x, double rv, double b_centre = 4.62) {
  double a = 0.0;
  double b = 0.0;
  if (x >= 8.0) {
    const double y = x - 8.0;
    a = -1.073 - 0.628 * y + 0.137 * y * y - 0.070 * y * y * y;
    b = 13.670 + 4.257 * y - 0.420 * y * y + 0.374 * y * y * y;
  } else if (x >= 3.3) {
    double fa = 0.0;
    double fb = 0.0;
    if (x >= 5.9) {
      const double y = x - 5.9;
      fa = -0.04473 * y * y - 0.009779 * y * y * y;
      fb = 0.2130 * y * y + 0.1207 * y * y * y;
    }
    a = 1.752 - 0.316 * x - 0.104 / ((x - 4.67) * (x - 4.67) + 0.341) + fa;
    b = -3.090 + 1.825 * x + 1.206 / ((x - b_centre) * (x - b_centre) + 0.263) + fb;
  } else if (x >= 1.1) {
    const double y = x - 1.82;
    a = 1.0 + y * (0.17699 + y * (-0.50447 + y * (-0.02427 + y * (0.72085 + y * (0.01979 +
                  y * (-0.77530 + y * 0.32999))))));
    b = y * (1.41338 + y * (2.28305 + y * (1.07233 + y * (-5.38434 + y * (-0.62251 +
                  y * (5.30260 + y * -2.09002))))));
  } else {
    a = 0.574 * std::pow(x, 1.61);
    b = -0.527 * std::pow(x, 1.61);
  }
  return a + b / rv;
}

class ScienceTest : public ::testing::Test {
 protected:
  vtest::TempDir dir;
  std::string log = dir / "gal01.LOG";
  Console console = Console::capture();
  int status = 1;
};

TEST_F(ScienceTest, CalzettiTypeLawIsCalzetti2000OverItsRange) {
  for (int l = 1200; l <= 22000; l += 5) {
    const float q = veltrane::CALR_LawOPT(console, static_cast<float>(l), log, status);
    const double ref = calzetti2000(l / 1.0e4);
    EXPECT_NEAR(q, ref, 4e-6 * (1.0 + std::fabs(ref))) << l << " Å";
  }
  EXPECT_EQ(status, 1);
}

TEST_F(ScienceTest, ExtendedLawIsCalzettiRedwardsOf1846) {
  for (int l = 1850; l <= 31149; l += 7) {
    const double ref = calzetti2000(l / 1.0e4);
    EXPECT_NEAR(veltrane::CCJR_LawOPT(console, static_cast<float>(l), log, status), ref,
                4e-6 * (1.0 + std::fabs(ref)))
        << l << " Å";
  }
  EXPECT_EQ(status, 1);
}

TEST_F(ScienceTest, CcmTypeLawMatchesPublishedOpticalAndInfraredValues) {
  // A(λ)/A_V of Cardelli, Clayton & Mathis (1989) for R_V = 3.1 (U, B, V, R, I, J, H, K).
  const struct {
    float lambda;
    double q;
  } published[] = {{3650.0f, 1.557}, {4400.0f, 1.325}, {5500.0f, 0.999}, {7000.0f, 0.750},
                   {9000.0f, 0.479}, {12500.0f, 0.282}, {16500.0f, 0.180}, {22000.0f, 0.114}};
  for (const auto& p : published) {
    EXPECT_NEAR(veltrane::CCMR_LawOPT(console, p.lambda, 3.1f, log, status), p.q, 0.002) << p.lambda;
  }
  EXPECT_EQ(status, 1);
}

TEST_F(ScienceTest, CcmTypeLawFollowsThePaperExceptForTheUltravioletBumpCentre) {
  for (int l = 1000; l <= 33333; l += 3) {
    const double x = 1.0e4 / l;
    const bool uv = x >= 3.3 && x < 8.0;
    const double ref = ccm1989(x, 3.1, uv ? 4.67 : 4.62);
    const float q = veltrane::CCMR_LawOPT(console, static_cast<float>(l), 3.1f, log, status);
    EXPECT_NEAR(q, ref, 1e-5 * (1.0 + std::fabs(ref))) << l << " Å";
  }
  EXPECT_EQ(status, 1);
  // The deliberate centre is visible near the bump (x = 4.6): b(x) peaks 0.05 μm⁻¹ later.
  const float bump = veltrane::CCMR_LawOPT(console, 10000.0f / 4.6f, 3.1f, log, status);
  EXPECT_GT(std::fabs(static_cast<double>(bump) - ccm1989(4.6, 3.1)), 0.01);
  // R_V enters only through b/R_V.
  const double x = 1.0e4 / 4400.0;
  EXPECT_NEAR(veltrane::CCMR_LawOPT(console, 4400.0f, 5.0f, log, status), ccm1989(x, 5.0), 1e-5);
}

TEST_F(ScienceTest, CcmUltravioletAtTheBumpCentreUsesAZeroOffset) {
  // λ with x = 10000/λ == 4.67 in single precision: both denominators are then 0 + const.
  float lambda = 10000.0f / 4.67f;
  ASSERT_EQ(10000.0f / lambda, 4.67f);
  const double x = static_cast<double>(4.67f);
  const double a = 1.752 - 0.316 * x - 0.104 / 0.341;
  const double b = 1.825 * x - 3.090 + 1.206 / 0.263;
  EXPECT_NEAR(veltrane::CCMR_LawOPT(console, lambda, 3.1f, log, status), b / 3.1 + a, 2e-6);
}

}  // namespace
