#include "extinction/red_term.h"

#include <algorithm>
#include <cstddef>

#include "extinction/laws.h"
#include "textio/format.h"

namespace veltrane {
namespace {

enum class Law { cal, ccj, ccm, gd1, gd2, gd3 };

Law select_law(std::string_view code) {
  const std::string_view c = textio::trim_right(code);
  if (c == "CAL") return Law::cal;
  if (c == "CCM") return Law::ccm;
  if (c == "GD1") return Law::gd1;
  if (c == "GD2") return Law::gd2;
  if (c == "GD3") return Law::gd3;
  return Law::ccj;  // "CCJ" and every unknown code
}

float eval_law(Law law, float lambda, ProblemLog& log, int& status) {
  switch (law) {
    case Law::cal: return CALR_LawOPT(lambda, log, status);
    case Law::ccm: return CCMR_LawOPT(lambda, 3.1f, log, status);
    case Law::gd1: return GDNR_LawOPT(lambda, "GD1", log, status);
    case Law::gd2: return GDNR_LawOPT(lambda, "GD2", log, status);
    case Law::gd3: return GDNR_LawOPT(lambda, "GD3", log, status);
    case Law::ccj: break;
  }
  return CCJR_LawOPT(lambda, log, status);
}

}  // namespace

void EvalRedTerm(std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                 float& qlbdnorm, std::string_view R_LawOPT, ProblemLog& log, int& IsKeepOn) {
  std::fill(red_term.begin(), red_term.end(), 0.0f);
  qlbdnorm = 0.0f;

  const auto counted = std::count_if(b_lambda.begin(), b_lambda.end(), [](float l) { return l >= 0.0f; });
  // The used points come first; a red_term shorter than the grid bounds the loop too.
  const std::size_t n = std::min({static_cast<std::size_t>(counted), b_lambda.size(), red_term.size()});

  const Law law = select_law(R_LawOPT);
  qlbdnorm = eval_law(law, lbd_norm, log, IsKeepOn);

  for (std::size_t i = 0; i < n; ++i) {
    const int keep = IsKeepOn;
    const float q = eval_law(law, b_lambda[i], log, IsKeepOn);
    if (q == 0.0f && IsKeepOn == 0) {
      // Out of the law's range: no attenuation here, and the law's clearing is undone.
      // Restoring the value from before this point, not 1, keeps an earlier failure.
      red_term[i] = 0.0f;
      IsKeepOn = keep;
    } else {
      red_term[i] = -((q - qlbdnorm) * 0.4f);
    }
    if (b_lambda[i] == lbd_norm) red_term[i] = 0.0f;
  }

  // Every term positive means q(lbd_norm) exceeds q at every grid point: with a law falling
  // towards the red, lbd_norm lies bluewards of the whole grid. An empty grid fails too.
  const auto positive = std::count_if(red_term.begin(), red_term.begin() + static_cast<std::ptrdiff_t>(n),
                                      [](float r) { return r > 0.0f; });
  if (static_cast<std::size_t>(positive) == n) IsKeepOn = 0;
}

}  // namespace veltrane
