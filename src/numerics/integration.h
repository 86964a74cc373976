// Integration of a sampled function over a closed range with one of six rules.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "support/report.h"

namespace veltrane {

// The rules, by the letters of the integration modes 0 to 5:
//   R  rectangles on the left sample of each interval   (mode 0)
//   L  rectangles on the right sample                   (mode 1)
//   T  trapezoids, the rule the system uses             (mode 2)
//   S  each sample times the width of the interval after it (the width before it for the
//      last sample), the rule of every other mode
//   M  midpoints of the intervals wholly inside          (mode 4)
//   I  Simpson's rule on those intervals                 (mode 5)
enum class Rule { R, L, T, S, M, I };
// The rule of an integration mode (any mode but 0 to 5 selects S).
Rule rule_of(int mode);

// Integrates F(lambda) (N = lambda.size() samples, strictly increasing wavelengths) over
// [lambda_i, lambda_f]: inner sum over the samples inside, plus edge pieces with values
// interpolated by LINEAR1_Deg where a limit falls between two samples; nothing is
// extrapolated. Up to 20,000 samples. On failure (no overlap, or wavelengths not strictly
// increasing) prints the two-line problem report on the context's console, fails the model
// and returns -999.0. Allocates nothing. Should the spans differ in length, N is the
// shorter. Resets LINEAR1_Deg's saved bracket before its interpolations and leaves it where
// the last one put it.
float IntegralALL(ReportContext& report, std::span<const float> lambda, std::span<const float> F, float lambda_i,
                  float lambda_f, Rule rule);

// The same integral in the literal weight-array form: N-element weight arrays set to 0.0,
// every weight set, then the straddling weight changed, then the inner sum and the pieces.
// Slow and obvious; IntegralALL must match it bit for bit, saved bracket included.
float IntegralALLLiteral(ReportContext& report, std::span<const float> lambda, std::span<const float> F, float lambda_i,
                         float lambda_f, Rule rule);

namespace detail {

// The two failures of IntegralALL, in the order it tests them; nullptr when neither holds.
const char* integration_failure(std::span<const float> lambda, float lambda_i, float lambda_f);
// The failure in words, for the problem's reason.
std::string integration_failure_reason(const char* failure, float lambda_i, float lambda_f);

// Rule T for the common case: strictly increasing wavelengths that overlap the range
// (the caller has checked both, so IntegralALL would not fail) and an integrand that is 0.0
// at every sample outside [lambda_i, lambda_f]. Gives IntegralALL's result bit for bit: the
// terms outside the range are exactly ±0 and leave the sum unchanged, so only the samples
// around the range are visited (found by binary search); the pieces make the same
// interpolations and leave the same saved bracket.
float integral_t_support(std::span<const float> lambda, std::span<const float> F, float lambda_i, float lambda_f);

// integral_t_support in two steps, for several integrands over the same wavelengths and
// range: the plan (where the range lies among the samples), then each integrand's value.
struct TSupport {
  std::span<const float> lambda;
  float lambda_i = 0.0f, lambda_f = 0.0f;
  std::size_t first = 0, end = 0;  // the inner sum's samples [first, end)
  std::size_t inside = 0;          // samples from here on (to `end`) weigh their interval
  std::size_t dropped = 0;         // the interval that does not weigh (n: none)
  std::size_t next = 0, below_f = 0;
  bool left = false, right = false;  // the edge pieces that apply
};
TSupport t_support(std::span<const float> lambda, float lambda_i, float lambda_f);
// The inner sums of up to four integrands (each at least plan.lambda.size() long) at once,
// each in integral_t_support's order of operations, into sums[0 .. F.size()).
void t_support_inner(const TSupport& plan, std::span<const std::span<const float>> F, float* sums);
// The integral of F from its inner sum: the edge pieces added, their interpolations made
// (and the saved bracket left) as integral_t_support makes them.
float t_support_total(const TSupport& plan, std::span<const float> F, float inner);

}  // namespace detail

}  // namespace veltrane
