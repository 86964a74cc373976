// The laws against the published curves, evaluated in double precision from the papers.
#include <gtest/gtest.h>

#include <cmath>

#include "extinction/laws.h"

namespace veltrane {
namespace {

// Calzetti et al. (2000), ApJ 533, 682, eq. 4 with R_V = 4.05, λ in μm: k(λ)/R_V.
double calzetti2000(double l) {
  const double k = l <= 0.63 ? 2.659 * (-2.156 + 1.509 / l - 0.198 / (l * l) + 0.011 / (l * l * l)) + 4.05
                             : 2.659 * (-1.857 + 1.040 / l) + 4.05;
  return k / 4.05;
}

TEST(Science, CalzettiLawsAndCardelliValues) {
  CapturedReport report;
  ReportContext& r = report.context;
  for (int l = 1200; l <= 31149; l += 7) {
    const double ref = calzetti2000(l / 1.0e4);
    const double tol = 4e-6 * (1 + std::fabs(ref));
    if (l <= 22000) { EXPECT_NEAR(CALR_LawOPT(r, float(l)).q, ref, tol) << l; }
    if (l >= 1850) { EXPECT_NEAR(CCJR_LawOPT(r, float(l)).q, ref, tol) << l; }
  }
  // A(λ)/A_V of Cardelli, Clayton & Mathis (1989) for R_V = 3.1 in U, B, V, R, I, J, H, K.
  const struct {
    float lambda;
    double q;
  } published[] = {{3650, 1.557}, {4400, 1.325},  {5500, 0.999},  {7000, 0.750},
                   {9000, 0.479}, {12500, 0.282}, {16500, 0.180}, {22000, 0.114}};
  for (const auto& p : published) EXPECT_NEAR(CCMR_LawOPT(r, p.lambda, 3.1f).q, p.q, 0.002) << p.lambda;
  // The tables give 1 at x = 1.818 (5500 Å).
  for (const char* code : {"GD1", "GD2", "GD3"}) EXPECT_NEAR(GDNR_LawOPT(r, 5500.0f, code).q, 1.0, 1e-3) << code;
  EXPECT_TRUE(report.log.empty());
}

}  // namespace
}  // namespace veltrane
