// The reddening term over a wavelength grid: red_term(i) = −0.4 (q(λ_i) − q(λ_norm)), the
// exponent (per unit A_V) of the attenuation factor 10^(A_V · red_term(i)).
#pragma once

#include <span>
#include <string_view>

#include "numerics/problem_log.h"

namespace veltrane {

// b_lambda: the whole grid table (10,000 values in Å; used points first, -999.0 after them);
// the used points are the N elements ≥ 0.0 and the loop covers elements 0..N-1.
// red_term: same size, written (0.0 beyond the used points; exactly 0.0 where λ == lbd_norm;
// 0.0 at a point outside the law's range). qlbdnorm: q(lbd_norm), 0.0 when out of range.
// The law is chosen by R_LawOPT, compared exactly with trailing blanks ignored ("CAL", "CCJ",
// "CCM" with R_V = 3.1, "GD1", "GD2", "GD3"; anything else uses "CCJ" without a message).
// Every out-of-range wavelength appends one report to the model's problem log.
// IsKeepOn: cleared when lbd_norm is out of range, or when N = 0 or every red term is > 0;
// never raised above its value on entry (an out-of-range grid point leaves it as it was).
void EvalRedTerm(std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                 float& qlbdnorm, std::string_view R_LawOPT, ProblemLog& log, int& IsKeepOn);

}  // namespace veltrane
