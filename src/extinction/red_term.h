// The reddening term over a wavelength grid: red_term(i) = −0.4 (q(λ_i) − q(λ_norm)).
#pragma once

#include <span>
#include <string_view>

#include "numerics/console.h"

namespace veltrane {

// b_lambda: the whole grid table (10,000 values; used points first, -999.0 after them);
// red_term: same size, written (0.0 beyond the used points). The law is chosen by R_LawOPT
// ("CAL", "CCJ", "CCM", "GD1", "GD2", "GD3"; anything else uses "CCJ"). Out-of-range points
// append reports to the log `log_name`. IsKeepOn is never raised above its value on entry.
void EvalRedTerm(Console& console, std::span<const float> b_lambda, std::span<float> red_term,
                 float lbd_norm, float& qlbdnorm, std::string_view R_LawOPT,
                 std::string_view log_name, int& IsKeepOn, int verbose);

}  // namespace veltrane
