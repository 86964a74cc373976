#include "extinction/laws.h"

#include <cmath>
#include <initializer_list>
#include <string>

#include "extinction/law_tables.h"
#include "numerics/problem_log.h"
#include "textio/format.h"

namespace veltrane {
namespace {

// 2.659 / 4.05: the Calzetti k(λ) polynomials rescaled to A(λ)/A_V.
constexpr float kCalFactor = 0.6565431356430054f;

// Out of range: one report appended to the log, the status cleared, q = 0.0.
float out_of_range(ProblemLog& log, int& status, std::initializer_list<std::string> lines) {
  log.report(LogMode::append, lines);
  status = 0;
  return 0.0f;
}

float range_report(ProblemLog& log, int& status, std::string_view routine, std::string_view range) {
  return out_of_range(log, status,
                      {indent("[EvalRedTerm] FUNCTION --- " + std::string(routine)),
                       indent("[EvalRedTerm] " + std::string(range)),
                       indent("[EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@")});
}

// Calzetti blue branch, 1200 (or 1846) Å < λ ≤ 6300 Å.
float calzetti_blue(float x) {
  float t = 1.509f * x - 2.156f;
  t = t - (0.198f * x) * x;
  t = t + ((0.011f * x) * x) * x;
  return t * kCalFactor + 1.0f;
}

// Calzetti red branch, 6300 Å < λ.
float calzetti_red(float x) { return (1.04f * x - 1.857f) * kCalFactor + 1.0f; }

}  // namespace

float CALR_LawOPT(float lambda, ProblemLog& log, int& status) {
  const float x = 10000.0f / lambda;
  if (lambda >= 1200.0f && lambda <= 6300.0f) return calzetti_blue(x);
  if (lambda > 6300.0f && lambda <= 22000.0f) return calzetti_red(x);
  return range_report(log, status, "CALR_LawOPT", "l < 1200 Å & l > 22000 Å");
}

float CCJR_LawOPT(float lambda, ProblemLog& log, int& status) {
  const float x = 10000.0f / lambda;
  if (lambda >= 912.0f && lambda <= 1846.0f) {
    float t = 0.671f * x + 5.472f;
    t = t - (0.009218f * x) * x;
    t = t + ((0.00262f * x) * x) * x;
    return t / 4.05f;
  }
  if (lambda > 1846.0f && lambda <= 6300.0f) return calzetti_blue(x);
  if (lambda > 6300.0f && lambda <= 31149.0f) return calzetti_red(x);
  return range_report(log, status, "CCJR_LawOPT", "l < 0912 Å & l > 31149 Å");
}

float CCMR_LawOPT(float lambda, float R_V, ProblemLog& log, int& status) {
  const float x = 10000.0f / lambda;
  float a = 0.0f;
  float b = 0.0f;
  // The intervals are tested blue to red, so a boundary x belongs to the bluer one. A NaN or
  // negative λ fails every test.
  if (x >= 8.0f && x <= 10.0f) {
    const float y = x - 8.0f;
    a = ((-1.073f - 0.628f * y) + (0.137f * y) * y) - ((0.070f * y) * y) * y;
    b = ((4.257f * y + 13.670f) - (0.420f * y) * y) + ((0.374f * y) * y) * y;
  } else if (x >= 3.3f && x < 8.0f) {
    float fa = 0.0f;
    float fb = 0.0f;
    if (x >= 5.9f) {
      const float y = x - 5.9f;
      fa = (-0.04473f * y) * y - ((0.009779f * y) * y) * y;
      fb = (0.2130f * y) * y + ((0.1207f * y) * y) * y;
    }
    // One bump centre, 4.67 μm⁻¹, in both denominators (CCM's b(x) has 4.62).
    const float d = x - 4.67f;
    a = ((1.752f - 0.316f * x) - 0.104f / (d * d + 0.341f)) + fa;
    b = ((1.825f * x - 3.090f) + 1.206f / (d * d + 0.263f)) + fb;
  } else if (x >= 1.1f && x < 3.3f) {
    const float y = x - 1.82f;
    a = 1.0f + 0.17699f * y;
    a = a - (0.50447f * y) * y;
    a = a - ((0.02427f * y) * y) * y;
    a = a + (((0.72085f * y) * y) * y) * y;
    a = a + ((((0.01979f * y) * y) * y) * y) * y;
    a = a - (((((0.77530f * y) * y) * y) * y) * y) * y;
    a = a + ((((((0.32999f * y) * y) * y) * y) * y) * y) * y;
    b = 1.41338f * y;
    b = b + (2.28305f * y) * y;
    b = b + ((1.07233f * y) * y) * y;
    b = b - (((5.38434f * y) * y) * y) * y;
    b = b - ((((0.62251f * y) * y) * y) * y) * y;
    b = b + (((((5.30260f * y) * y) * y) * y) * y) * y;
    b = b - ((((((2.09002f * y) * y) * y) * y) * y) * y) * y;
  } else if (x >= 0.3f && x < 1.1f) {
    const float p = std::pow(x, 1.61f);
    a = 0.574f * p;
    b = -0.527f * p;
  } else {
    return range_report(log, status, "CCMR_LawOPT", "l < 1000 Å & l > 33333 Å");
  }
  return b / R_V + a;
}

float GDNR_LawOPT(float lambda, std::string_view code, ProblemLog& log, int& status) {
  const std::string_view law = textio::trim_right(code);
  const float* q = nullptr;
  if (law == "GD1") q = gordon::q_smcbar.data();
  else if (law == "GD2") q = gordon::q_g_lmc2.data();
  else if (law == "GD3") q = gordon::q_lmcave.data();
  if (q == nullptr) {
    return out_of_range(log, status,
                        {indent("[EvalRedTerm] ... q_Gordon: Bad extinction law ==> " +
                                std::string(textio::adjust_trim(code)))});
  }

  const float x = 10000.0f / lambda;
  const auto& xg = gordon::x_gordon;
  // The first interval that holds x: an inner abscissa belongs to the interval ending there.
  for (int k = 0; k + 1 < gordon::kRows; ++k) {
    if (xg[k] <= x && x <= xg[k + 1]) {
      return ((q[k + 1] - q[k]) * (x - xg[k])) / (xg[k + 1] - xg[k]) + q[k];
    }
  }
  return out_of_range(log, status,
                      {indent("[EvalRedTerm] ... q_Gordon: 0 @@@@@@@@"),
                       indent("[EvalRedTerm] lambda is out of Table 4")});
}

}  // namespace veltrane
