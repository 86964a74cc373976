// The computation of one galaxy on its loaded inputs: population split, rebuilt and scaled
// model spectra, the cleaned and extended observation, the magnitudes. See docs/formulae.md.
#include "galaxy/compute.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include "extinction/laws.h"
#include "extinction/red_term.h"
#include "galaxy/ssp_sums.h"
#include "numerics/interpolation.h"
#include "numerics/order.h"
#include "numerics/renorm.h"
#include "textio/format.h"

namespace veltrane {
namespace {

constexpr Rule kIntegrationRule = Rule::T;  // trapezoids

std::span<const float> head(const std::vector<float>& v, int n) {
  return {v.data(), static_cast<std::size_t>(std::clamp(n, 0, int(v.size())))};
}

// Young/old copies of the three population columns. When the old SSPs carry no m3_j at all
// the whole population counts as young.
void split_population(const FitResult& fit, float t_cut, ModelSpectra& s) {
  const int rows = std::min(fit.Num_base, kMaxSsp);
  float old_sum = 0.0f;
  for (int j = 0; j < rows; ++j)
    if (fit.age_j[j] >= t_cut) old_sum = old_sum + fit.m3_j[j];
  const bool all_young = old_sum / fit.m3_sum == 0.0f;
  for (int j = 0; j < rows; ++j) {
    const bool old = !all_young && fit.age_j[j] >= t_cut;
    s.x_you[j] = old ? 0.0f : fit.x_j[j];
    s.m2_you[j] = old ? 0.0f : fit.m2_j[j];
    s.m3_you[j] = old ? 0.0f : fit.m3_j[j];
    s.x_old[j] = old ? fit.x_j[j] : 0.0f;
    s.m2_old[j] = old ? fit.m2_j[j] : 0.0f;
    s.m3_old[j] = old ? fit.m3_j[j] : 0.0f;
  }
}

// Σ_j b_fluxes(·, j) × (x_j / 100) / S_j, each SSP normalised at lbd_norm.
void sum_normalised_ssps(ReportContext& report, const Galaxy& g, const BaseTables& base, const BaseGrid& grid,
                         ModelSpectra& s, bool literal) {
  const FitResult& fit = g.fit;
  const int n = s.N_lb;
  std::fill(s.allssp_f.begin(), s.allssp_f.end(), 0.0f);
  std::fill(s.youssp_f.begin(), s.youssp_f.end(), 0.0f);
  std::fill(s.oldssp_f.begin(), s.oldssp_f.end(), 0.0f);
  const int ssps = std::min(g.Num_base, kMaxSsp);
  for (int j = 0; j < ssps; ++j) {
    const std::span<const float> f = base.flux(j).first(std::size_t(n));
    const float S_j =
        literal ? StatsReNorm(report, fit.lbd_norm, grid.lambda, f) : StatsReNorm(report, fit.lbd_norm, grid, f);
    const SspWeights w{fit.x_j[j] / 100.0f, s.x_you[j] / 100.0f, s.x_old[j] / 100.0f};
    add_ssp(s.allssp_f, s.youssp_f, s.oldssp_f, f, w, S_j, base.finite[std::size_t(j)], literal);
  }
}

// The three model spectra times `units` (and times factor[i] at point i, when given), the
// arrays named apart so that the loop runs several points at a time.
void scale_models(ModelSpectra& s, int n, const float* __restrict factor, float units) {
  float* __restrict all = s.allssp_f.data();
  float* __restrict young = s.youssp_f.data();
  float* __restrict old = s.oldssp_f.data();
  for (int i = 0; i < n; ++i) {
    const float f = factor ? units * factor[i] : units;
    all[i] = all[i] * f;
    young[i] = young[i] * f;
    old[i] = old[i] * f;
  }
}

// Physical units, and either the de-reddened observation (Ext_Corr 1, A_V ≥ 0) or the
// reddened models.
void scale_spectra(ReportContext& report, const GalaxySettings& p, FitResult& fit, const BaseGrid& grid,
                   ModelSpectra& s, bool literal) {
  const int n = s.N_lb;
  const auto renorm = [&](float x, std::span<const float> F) {
    return literal ? StatsReNorm(report, x, grid.lambda, F) : StatsReNorm(report, x, grid, F);
  };
  if (p.Ext_Corr == 1 && fit.A_V >= 0.0f) {
    const auto red = head(s.red_term, n);
    const float qn = renorm(fit.lbd_norm, red);
    const float F = fit.flx_norm * std::pow(10.0f, (0.4f * fit.qlbdnorm - qn) * fit.A_V);
    for (int i = 0; i < fit.N_obs; ++i) {
      const float r = renorm(fit.o_lambda[i], red);
      fit.o_fluxes[i] = fit.o_fluxes[i] * std::pow(10.0f, (0.4f * fit.qlbdnorm - r) * fit.A_V);
    }
    scale_models(s, n, nullptr, F * p.Phyunits);
  } else {
    scale_models(s, n, s.ten_term.data(), fit.flx_norm * p.Phyunits);
  }
}

// The observed spectrum without ten points at each end of its positive-flux range, gaps
// filled with the total model, extended below and above with the model. Returns false when
// the extension had to store more points than the table holds, which only happens when a
// base point is stored twice (a repeated wavelength).
bool clean_and_extend(const FitResult& fit, const BaseTables& base, const BaseGrid& grid, ModelSpectra& s,
                      bool literal) {
  const auto& b = base.b_lambda;

  // Smallest and largest wavelength among the points of positive flux (1-based, 0: none);
  // NaN wavelengths are passed over unless they are all there is.
  int iMin = 0, iMax = 0;
  float lMin = 0.0f, lMax = 0.0f;  // o_lambda(iMin), o_lambda(iMax)
  for (int i = 1; i <= fit.N_obs; ++i) {
    if (!(fit.o_fluxes[i - 1] > 0.0f)) continue;
    const float l = fit.o_lambda[i - 1];
    if (iMin == 0 || (std::isnan(lMin) && !std::isnan(l)) || l < lMin) {
      iMin = i;
      lMin = l;
    }
    if (iMax == 0 || (std::isnan(lMax) && !std::isnan(l)) || l > lMax) {
      iMax = i;
      lMax = l;
    }
  }

  std::fill(s.onlambda.begin(), s.onlambda.end(), 0.0f);
  std::fill(s.onfluxes.begin(), s.onfluxes.end(), 0.0f);
  const int n = iMax - iMin - 19;
  const auto model = head(s.allssp_f, s.N_lb);
  if (n <= 0) {
    // No usable observed range: the model alone.
    std::copy_n(b.begin(), s.N_lb, s.onlambda.begin());
    std::copy_n(s.allssp_f.begin(), s.N_lb, s.onfluxes.begin());
    s.n_ext = s.N_lb;
    s.n_trimmed = 0;
    return true;
  }
  s.n_trimmed = n;
  std::copy_n(fit.o_lambda.begin() + (iMin + 9), n, s.onlambda.begin());
  std::copy_n(fit.o_fluxes.begin() + (iMin + 9), n, s.onfluxes.begin());

  // Gap repair over eleven points around every non-positive flux, five points from either
  // end, each point with a fresh search.
  for (int k = 1; k <= n; ++k) {
    if (s.onfluxes[k - 1] <= 0.0f && k > 5 && k + 5 < n) {
      for (int m = k + 5; m >= k - 5; --m) {
        int ilastval = -999;
        s.onfluxes[m - 1] = !literal && grid.increasing
                                ? LINEAR1_Deg_increasing(s.onlambda[m - 1], grid.lambda, model, ilastval)
                                : LINEAR1_Deg(s.onlambda[m - 1], grid.lambda, model, ilastval);
      }
    }
  }

  const float first = s.onlambda[0];
  const float last = s.onlambda[n - 1];
  int c = 1;
  bool fits = true;
  auto store = [&](int i) {
    if (n + c > kMaxExtended) {
      fits = false;
      return;
    }
    s.onlambda[n + c - 1] = b[i];
    s.onfluxes[n + c - 1] = s.allssp_f[i];
    ++c;
  };
  for (int i = 0; i < s.N_lb; ++i) {
    if (b[i] < first) store(i);
    if (b[i] > last) store(i);
  }
  s.n_ext = n + c - 1;
  return fits;
}

// Stable insertion sort by wavelength, fluxes moving along.
void sort_extended_literal(ModelSpectra& s) {
  for (int k = 1; k < s.n_ext; ++k) {
    const float l = s.onlambda[k];
    const float f = s.onfluxes[k];
    int j = k - 1;
    while (j >= 0 && s.onlambda[j] > l) {
      s.onlambda[j + 1] = s.onlambda[j];
      s.onfluxes[j + 1] = s.onfluxes[j];
      --j;
    }
    s.onlambda[j + 1] = l;
    s.onfluxes[j + 1] = f;
  }
}

// The two sorted runs [0, mid) and [mid, n_ext) merged, the earlier run first among equals,
// through the scratch tables (no allocation).
void merge_extended(ModelSpectra& s, int mid) {
  const float* l = s.onlambda.data();
  const float* f = s.onfluxes.data();
  float* ml = s.merge_lambda.data();
  float* mf = s.merge_fluxes.data();
  int a = 0, b = mid, k = 0;
  for (; a < mid && b < s.n_ext; ++k) {
    const bool later = l[b] < l[a];
    const int from = later ? b++ : a++;
    ml[k] = l[from];
    mf[k] = f[from];
  }
  for (; a < mid; ++a, ++k) ml[k] = l[a], mf[k] = f[a];
  for (; b < s.n_ext; ++b, ++k) ml[k] = l[b], mf[k] = f[b];
  std::copy(ml, ml + s.n_ext, s.onlambda.begin());
  std::copy(mf, mf + s.n_ext, s.onfluxes.begin());
}

// The same order without the quadratic moves: without NaN, `<` is a strict weak order and the
// stable sort's result is unique. The extended spectrum is usually two sorted runs (the
// trimmed observation, then the base points outside it), merged with the earlier run first
// among equals, as the insertion puts a later element after the equal ones before it.
void sort_extended(ModelSpectra& s, int n_obs, bool literal) {
  const auto l = s.onlambda.begin();
  const auto end = l + s.n_ext;
  if (literal || std::any_of(l, end, [](float v) { return v != v; })) return sort_extended_literal(s);
  const int mid_at = std::clamp(n_obs, 0, s.n_ext);
  if (std::is_sorted(l, l + mid_at) && std::is_sorted(l + mid_at, end)) return merge_extended(s, mid_at);
  std::vector<std::pair<float, float>> points(std::size_t(s.n_ext));
  for (int k = 0; k < s.n_ext; ++k) points[std::size_t(k)] = {s.onlambda[k], s.onfluxes[k]};
  const auto less = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::stable_sort(points.begin(), points.end(), less);
  for (int k = 0; k < s.n_ext; ++k) std::tie(s.onlambda[k], s.onfluxes[k]) = points[std::size_t(k)];
}

// Repeated (or decreasing) wavelengths in the sorted extended spectrum: the first point whose
// difference with the one before is not positive (0: none). Unlike strictly_increasing, a
// NaN passes (its differences compare false).
int repeated_wavelength(const ModelSpectra& s) {
  for (int i = 1; i < s.n_ext; ++i)
    if (s.onlambda[i] - s.onlambda[i - 1] <= 0.0f) return i;
  return 0;
}

// True when measuring the raw observation can neither report nor clear the status: every
// filter and the observed wavelengths increase strictly, so no integral of EvalTFluxes can
// fail. Its magnitudes are then all replaced by those of the extended spectrum.
bool raw_measure_is_silent(const FitResult& fit, const FilterSet& set) {
  for (int i = 0; i < std::min(set.Nfilters, kMaxFilters); ++i)
    if (!set.increasing[std::size_t(i)] && !set.lambda(i).empty()) return false;
  return strictly_increasing(head(fit.o_lambda, fit.N_obs));
}

// The magnitudes of one spectrum into a slot of the magnitude table.
void measure(ReportContext& report, Galaxy& g, bool literal, std::span<const float> l, std::span<const float> f,
             int slot, std::span<const Band> bands = {}) {
  const FilterSet& filters = *g.tables.filters;
  if (literal) {
    EvalFilters(report, l, f, filters, g.filter_results, g.mags.plane(slot), kIntegrationRule);
  } else {
    EvalFilters(report, Spectrum(l, f), filters, g.filter_results, g.mags.plane(slot), kIntegrationRule, g.work, bands);
  }
}

// The magnitudes of the galaxy: the raw observation (replaced below unless measuring it
// fails), the extended observation once sorted and checked, the three model spectra.
// Flow::stop after the report of repeated wavelengths in the extended spectrum.
Flow measure_galaxy(ReportContext& report, Galaxy& g, InputCache::Session& session, const BaseGrid& grid, bool fits,
                    bool literal) {
  const FitResult& fit = g.fit;
  ModelSpectra& s = g.spectra;
  if (literal || !raw_measure_is_silent(fit, *g.tables.filters))
    measure(report, g, literal, head(fit.o_lambda, fit.N_obs), head(fit.o_fluxes, fit.N_obs), 0);

  if (fits) sort_extended(s, s.n_trimmed, literal);
  const int repeated = fits && s.n_ext > 1 ? repeated_wavelength(s) : 0;
  if (!fits || repeated > 0) {
    report.note({g.arq_synt,
                 0,
                 0,
                 fits ? "the observation extended with the model holds the wavelength " +
                            number_text(s.onlambda[repeated]) + " Å twice"
                      : std::string("the observation extended with the model holds a wavelength twice"),
                 {indent("... Lambda is not monotonic!"),          // verbatim
                  indent("... Aqui a coisa foi pro beleléu!")}});  // verbatim (Portuguese: "it all went wrong")
    return Flow::stop;
  }
  measure(report, g, literal, head(s.onlambda, s.n_ext), head(s.onfluxes, s.n_ext), 0);
  std::shared_ptr<const std::vector<Band>> bands;
  if (!literal && grid.increasing && report.status.good())
    bands = session.bands(g.tables.base, s.N_lb, g.tables.filters);
  const std::span<const Band> on_grid = bands ? std::span<const Band>(*bands) : std::span<const Band>();
  const FilterSet& set = *g.tables.filters;
  const int nfil = std::clamp(set.Nfilters, 0, kMaxFilters);
  const bool increasing = std::all_of(set.increasing.begin(), set.increasing.begin() + nfil, [](char b) { return b; });
  if (bands && increasing && on_grid.size() >= std::size_t(nfil)) {
    // The three model spectra share the grid and its bands: measured together.
    EvalFiltersOnBands(report, grid.lambda,
                       {head(s.allssp_f, s.N_lb), head(s.youssp_f, s.N_lb), head(s.oldssp_f, s.N_lb)}, set,
                       g.filter_results, {g.mags.plane(1), g.mags.plane(2), g.mags.plane(3)}, g.work, on_grid);
    return Flow::go_on;
  }
  measure(report, g, literal, grid.lambda, head(s.allssp_f, s.N_lb), 1, on_grid);
  measure(report, g, literal, grid.lambda, head(s.youssp_f, s.N_lb), 2, on_grid);
  measure(report, g, literal, grid.lambda, head(s.oldssp_f, s.N_lb), 3, on_grid);
  return Flow::go_on;
}

}  // namespace

Flow compute_galaxy(ReportContext& report, const GalaxySettings& settings, InputCache::Session& session, Galaxy& g) {
  FitResult& fit = g.fit;
  ModelSpectra& s = g.spectra;
  const bool literal = settings.literal;
  split_population(fit, settings.t_cut, s);

  const BaseTables& base = *g.tables.base;
  s.N_lb = int(std::count_if(base.b_lambda.begin(), base.b_lambda.end(), [](float l) { return l > 0.0f; }));
  const BaseGrid grid(head(base.b_lambda, s.N_lb));

  if (!law_of_code(fit.R_LawOPT))
    g.warnings.push_back("galaxy " + g.arq_synt + ": extinction law '" + std::string(textio::trim_right(fit.R_LawOPT)) +
                         "' is not CAL, CCJ, CCM, GD1, GD2 or GD3; CCJ is used");
  if (literal) {
    fit.qlbdnorm = EvalRedTerm(report, base.b_lambda, s.red_term, fit.lbd_norm, fit.R_LawOPT);
  } else {
    // The law's values on this grid are kept while the grid stays (the tables kept alive with them).
    if (g.law_grid != g.tables.base) g.law_values.forget();
    g.law_grid = g.tables.base;
    fit.qlbdnorm = EvalRedTerm(report, base.b_lambda, s.red_term, fit.lbd_norm, fit.R_LawOPT, g.law_values);
  }
  for (int i = 0; i < s.N_lb; ++i) s.ten_term[i] = std::pow(10.0f, fit.A_V * s.red_term[i]);

  sum_normalised_ssps(report, g, base, grid, s, literal);
  scale_spectra(report, settings, fit, grid, s, literal);
  const bool fits = clean_and_extend(fit, base, grid, s, literal);

  if (measure_galaxy(report, g, session, grid, fits, literal) == Flow::stop) return Flow::stop;
  g.rebuilt = true;
  return Flow::go_on;
}

}  // namespace veltrane
