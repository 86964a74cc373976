// The reddening term over a wavelength grid: red_term(i) = −0.4 (q(λ_i) − q(λ_norm)), the
// exponent (per unit A_V) of the attenuation factor 10^(A_V · red_term(i)).
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "extinction/laws.h"
#include "support/report.h"

namespace veltrane {

// b_lambda: the whole grid table (10,000 values in Å; used points first, -999.0 after them);
// the used points are the N elements ≥ 0.0 and the loop covers elements 0..N-1.
// red_term: same size, written (0.0 beyond the used points; exactly 0.0 where λ == lbd_norm;
// 0.0 at a point outside the law's range). Returns qlbdnorm = q(lbd_norm), 0.0 when lbd_norm
// is outside the law's range.
// The law is chosen by R_LawOPT (law_of_code; any other text uses "CCJ" without a message).
// Every out-of-range wavelength appends one report to the model's problem log.
// The model fails when lbd_norm is out of the law's range, or when N = 0 or every red term
// is > 0; an out-of-range grid point alone does not fail it.
float EvalRedTerm(ReportContext& report, std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                  std::string_view R_LawOPT);

// The laws' values at the used points of one grid, kept between the galaxies measured on it
// (they depend on nothing else), one set per law: a survey mixes its galaxies' laws.
struct LawValues {
  struct Kept {
    bool held = false;
    std::vector<float> q;
    std::vector<char> in_range;
  };
  std::array<Kept, kLawCodes.size()> laws;
  // Another grid: nothing kept holds.
  void forget() {
    for (Kept& k : laws) k.held = false;
  }
};
// EvalRedTerm taking the law's values at the grid points from `kept` when it holds this law's
// (the caller keeps it for one grid and calls forget() for another), and otherwise evaluating
// them and keeping them there. The same red_term, qlbdnorm, status and log either way: a
// point out of the law's range is evaluated again, so that the law makes its report, in order.
float EvalRedTerm(ReportContext& report, std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                  std::string_view R_LawOPT, LawValues& kept);

}  // namespace veltrane
