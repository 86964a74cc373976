#include "extinction/red_term.h"

#include <algorithm>
#include <cstddef>

#include "extinction/laws.h"

namespace veltrane {

namespace {

// red_term over the first n grid points for the law `q` (a callable λ -> LawValue), q(lbd_norm)
// being `qlbdnorm`; `failed`: the model had failed before (a law never changes that).
template <class Law>
void fill_terms(std::span<const float> b_lambda, std::span<float> red_term, std::size_t n, float lbd_norm,
                float qlbdnorm, bool failed, Law q) {
  for (std::size_t i = 0; i < n; ++i) {
    const LawValue v = q(b_lambda[i]);
    // A point outside the law's range gets no attenuation (its report is in the log; the
    // model does not fail for it). The rule tests q = 0.0 and a failed state, not the range
    // itself, so a q of exactly 0.0 in range gets no attenuation either once the model has
    // failed (CCJ falls to 0 near 31140 Å).
    if (v.q == 0.0f && (!v.in_range || failed)) {
      red_term[i] = 0.0f;
    } else {
      red_term[i] = -((v.q - qlbdnorm) * 0.4f);
    }
    if (b_lambda[i] == lbd_norm) red_term[i] = 0.0f;
  }
}

}  // namespace

namespace {

// What both forms share: the grid's used points, the law, q(lbd_norm) (failing the galaxy out
// of the law's range), then the terms from `fill` and the check of their signs.
template <class Fill>
float red_term_with(ReportContext& report, std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                    std::string_view R_LawOPT, Fill fill) {
  std::fill(red_term.begin(), red_term.end(), 0.0f);

  const auto counted = std::count_if(b_lambda.begin(), b_lambda.end(), [](float l) { return l >= 0.0f; });
  // The used points come first; a red_term shorter than the grid bounds the loop too.
  const std::size_t n = std::min({static_cast<std::size_t>(counted), b_lambda.size(), red_term.size()});

  const LawCode law = law_of_code(R_LawOPT).value_or(LawCode::CCJ);
  const LawValue norm = evaluate_law(report, law, lbd_norm);
  if (!norm.in_range)
    report.fail({report.subject,
                 0,
                 0,
                 "the normalisation wavelength " + number_text(lbd_norm) + " Å lies outside the range of the " +
                     std::string(kLawCodes[std::size_t(law)]) + " extinction law",
                 {}});
  const float qlbdnorm = norm.q;
  fill(law, n, qlbdnorm, report.failed());

  // Every term positive means q(lbd_norm) exceeds q at every grid point: with a law falling
  // towards the red, lbd_norm lies bluewards of the whole grid. An empty grid fails too.
  const auto positive = std::count_if(red_term.begin(), red_term.begin() + static_cast<std::ptrdiff_t>(n),
                                      [](float r) { return r > 0.0f; });
  if (static_cast<std::size_t>(positive) == n)
    report.fail({report.subject,
                 0,
                 0,
                 n == 0 ? std::string("no base grid to compute the reddening term on")
                        : "the reddening term is positive at every base grid point: the normalisation wavelength " +
                              number_text(lbd_norm) + " Å lies bluewards of the grid for the " +
                              std::string(kLawCodes[std::size_t(law)]) + " extinction law",
                 {}});
  return qlbdnorm;
}

// The law's value at λ, the law chosen once, not at every point.
template <class Use>
void with_law(ReportContext& report, LawCode law, Use use) {
  switch (law) {
    case LawCode::CAL: use([&](float l) { return CALR_LawOPT(report, l); }); break;
    case LawCode::CCJ: use([&](float l) { return CCJR_LawOPT(report, l); }); break;
    case LawCode::CCM: use([&](float l) { return CCMR_LawOPT(report, l, 3.1f); }); break;
    default: use([&](float l) { return evaluate_law(report, law, l); }); break;
  }
}

}  // namespace

float EvalRedTerm(ReportContext& report, std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                  std::string_view R_LawOPT) {
  return red_term_with(
      report, b_lambda, red_term, lbd_norm, R_LawOPT, [&](LawCode law, std::size_t n, float qlbdnorm, bool failed) {
        with_law(report, law, [&](auto q) { fill_terms(b_lambda, red_term, n, lbd_norm, qlbdnorm, failed, q); });
      });
}

float EvalRedTerm(ReportContext& report, std::span<const float> b_lambda, std::span<float> red_term, float lbd_norm,
                  std::string_view R_LawOPT, LawValues& kept) {
  return red_term_with(report, b_lambda, red_term, lbd_norm, R_LawOPT,
                       [&](LawCode law, std::size_t n, float qlbdnorm, bool failed) {
                         with_law(report, law, [&](auto q) {
                           LawValues::Kept& k = kept.laws[std::size_t(law)];
                           if (!k.held || k.q.size() != n) {
                             // Evaluated here, and kept.
                             k.q.resize(n);
                             k.in_range.resize(n);
                             std::size_t i = 0;
                             const auto keep = [&](float l) {
                               const LawValue v = q(l);
                               k.q[i] = v.q;
                               k.in_range[i++] = v.in_range;
                               return v;
                             };
                             fill_terms(b_lambda, red_term, n, lbd_norm, qlbdnorm, failed, keep);
                             k.held = true;
                             return;
                           }
                           std::size_t i = 0;
                           const auto again = [&](float l) {
                             const std::size_t j = i++;
                             return k.in_range[j] ? LawValue{k.q[j], true} : q(l);  // the law reports it
                           };
                           fill_terms(b_lambda, red_term, n, lbd_norm, qlbdnorm, failed, again);
                         });
                       });
}

}  // namespace veltrane
